// How halvero-cli shows what a board told it: identity and live status as
// text lines and as JSON, in the same notation the configurator window uses
// so that a serial read here can be matched against one read there.
#ifndef HALVERO_CLI_BOARDFORMAT_H
#define HALVERO_CLI_BOARDFORMAT_H

#include <QJsonObject>
#include <QString>
#include <cstdint>

#include "boardconfig.h"
#include "recordtext.h"

class parachuteRadioComm;

// "key  value" lines for a person; aligned, one fact per line.
QString identityText(const parachuteRadioComm &record);
QJsonObject identityJson(const parachuteRadioComm &record);

// One line per poll, so a watch can be piped, grepped or logged.
QString statusLine(const parachuteRadioComm &record);
QJsonObject statusJson(const parachuteRadioComm &record);

#endif // HALVERO_CLI_BOARDFORMAT_H
