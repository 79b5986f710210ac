// Record pictures and log capture for the device link tests.
#include "linktesthelpers.h"

#include "parachuteradiocomm.h"

#include <QtGlobal>

QVariantMap recordSnapshot(const parachuteRadioComm &d)
{
    QVariantMap m;
    m["productCodeHigh"] = uint(d.productCodeHigh);
    m["productCodeLow"] = uint(d.productCodeLow);
    m["fwVersionMajor"] = uint(d.fwVersionMajor);
    m["fwVersionMinor"] = uint(d.fwVersionMinor);
    m["chipRevId"] = uint(d.chipRevId);
    m["chipDevId"] = uint(d.chipDevId);
    for (int i = 0; i < 3; ++i) {
        m[QString("uniqueId[%1]").arg(i)] = uint(d.uniqueId[i]);
        m[QString("groupBank[%1]").arg(i)] = uint(d.groupBank[i]);
        m[QString("groupRefreshRate[%1]").arg(i)] = uint(d.groupRefreshRate[i]);
    }
    for (int i = 0; i < 12; ++i)
        m[QString("failsafeValue[%1]").arg(i)] = uint(d.failsafeValue[i]);
    m["triggerActiveLow"] = d.triggerActiveLow;
    m["triggerHigh"] = uint(d.triggerHigh);
    m["triggerLow"] = uint(d.triggerLow);
    m["eepromDump"] = d.eepromDump;
    m["triggerValue"] = uint(d.triggerValue);
    m["triggerFrequency"] = uint(d.triggerFrequency);
    m["triggerPresent"] = d.triggerPresent;
    m["failsafeActive"] = d.failsafeActive;
    m["fuseProbeCurrent"] = d.fuseProbeCurrent;
    m["fuseCurrent"] = d.fuseCurrent;
    m["fusePeakCurrent"] = d.fusePeakCurrent;
    m["triggerVoltage"] = d.triggerVoltage;
    m["batteryVoltage"] = d.batteryVoltage;
    m["temperature"] = d.temperature;
    m["inaGain"] = uint(d.inaGain);
    return m;
}

void fillWithSentinels(parachuteRadioComm &d)
{
    d.productCodeHigh = 0x5A;
    d.productCodeLow = 0x5B;
    d.fwVersionMajor = 0x5C;
    d.fwVersionMinor = 0x5D;
    d.chipRevId = 0x11111111;
    d.chipDevId = 0x22222222;
    for (int i = 0; i < 3; ++i) {
        d.uniqueId[i] = 0x33333333u + uint(i);
        d.groupBank[i] = uint8_t(70 + i);
        d.groupRefreshRate[i] = uint8_t(80 + i);
    }
    for (int i = 0; i < 12; ++i)
        d.failsafeValue[i] = uint16_t(4000 + i);
    d.triggerActiveLow = true;
    d.triggerHigh = 4444;
    d.triggerLow = 5555;
    d.eepromDump = QStringLiteral("earlier dump");
    d.triggerValue = 6666;
    d.triggerFrequency = 7777;
    d.triggerPresent = true;
    d.failsafeActive = true;
    d.fuseProbeCurrent = 0.25f;
    d.fuseCurrent = 0.5f;
    d.fusePeakCurrent = 0.75f;
    d.triggerVoltage = 1.25f;
    d.batteryVoltage = 1.5f;
    d.temperature = 1.75f;
    d.inaGain = 99;
}

QString recordDifferences(const QVariantMap &actual, const QVariantMap &expected)
{
    // Compared as text: a float prints its shortest exact form, so 12.6f and
    // a value a hair off it do not compare equal.
    QStringList out;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString want = it.value().toString();
        const QString got = actual.value(it.key()).toString();
        if (!actual.contains(it.key()))
            out << QString("%1: not in the record").arg(it.key());
        else if (want != got)
            out << QString("%1: %2, expected %3").arg(it.key(), got, want);
    }
    return out.join('\n');
}

static QStringList *capturedLines = nullptr;
static QtMessageHandler previousHandler = nullptr;

static void captureHandler(QtMsgType type, const QMessageLogContext &context, const QString &msg)
{
    if (type == QtDebugMsg && capturedLines)
        capturedLines->append(msg);
    else if (previousHandler)
        previousHandler(type, context, msg);
}

LogCapture::LogCapture()
{
    capturedLines = &m_lines;
    previousHandler = qInstallMessageHandler(captureHandler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previousHandler);
    capturedLines = nullptr;
}
