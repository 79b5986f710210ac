// A board's identity and EEPROM dump as the operator reads them, straight
// from the device link's record, in the same notation in the window and in
// halvero-cli so that a serial read in one can be matched against the other.
#ifndef HALVERO_RECORDTEXT_H
#define HALVERO_RECORDTEXT_H

#include <QString>

#include "protocol.h"

class parachuteRadioComm;

QString productCodeText(const parachuteRadioComm &record); // "08A3"
QString firmwareText(const parachuteRadioComm &record);    // "1.3"
QString serialText(const parachuteRadioComm &record);      // "0x" + 24 digits, last word first
BoardFamily recordFamily(const parachuteRadioComm &record);

// The dump text the board sent after the six bytes of its reply header,
// which the link keeps in front of it.
QString dumpBody(const parachuteRadioComm &record);

#endif // HALVERO_RECORDTEXT_H
