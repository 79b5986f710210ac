// Identity and dump text of the device link's record.
#include "recordtext.h"

#include "displayformat.h"
#include "parachuteradiocomm.h"

QString productCodeText(const parachuteRadioComm &record)
{
    return DisplayFormat::productCode(record.productCodeHigh, record.productCodeLow);
}

QString firmwareText(const parachuteRadioComm &record)
{
    return DisplayFormat::firmwareVersion(record.fwVersionMajor, record.fwVersionMinor);
}

QString serialText(const parachuteRadioComm &record)
{
    return DisplayFormat::serialNumber(record.uniqueId);
}

BoardFamily recordFamily(const parachuteRadioComm &record)
{
    return Protocol::familyOf(record.productCodeHigh, record.productCodeLow);
}

QString dumpBody(const parachuteRadioComm &record)
{
    // The link decodes header and dump together, so the header is decoded
    // the same way here to find how many characters it became.
    const char header[] = {char(USBmsgEepromDump),      char(record.productCodeHigh), char(record.productCodeLow),
                           char(record.fwVersionMajor), char(record.fwVersionMinor),  char(Protocol::dumpMarker)};
    const QString prefix = QString::fromUtf8(header, sizeof header);
    return record.eepromDump.startsWith(prefix) ? record.eepromDump.mid(prefix.size()) : record.eepromDump;
}
