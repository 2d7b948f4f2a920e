#include "sim/AnalyserModel.h"

#include "text/Cp1251.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace lorimet {

namespace {

constexpr quint8 kStartByte = 0xA1; // also the resend command when it comes alone
constexpr quint8 kStartSecond = 0xA2;
constexpr quint8 kStartSeparator = 0xA3;
constexpr quint8 kEndOfOperation = 0xA4;
constexpr quint8 kRestoreFactory = 0xA5;
constexpr quint8 kSaveFactory = 0xA6;
constexpr quint8 kUpperPoint = 0xAB;

// The program counts 25 lines per second of transport delay before it looks for the start of its run, and
// the fall begins just then: the run starts a line or two into it. Its smoothed derivative then climbs
// clear of the rounding steps of the smoothed signal before sample 21, where the program starts looking
// for end points; a flat piece before the fall would let that rounding jitter pass for the end point.
constexpr double kLinesPerDelaySecond = 25.0;
// Once flushed, a dip is gone for good after this long (e^-10 of its depth).
constexpr qint64 kForgetFlushedMs = 60'000;

QString hexByte(quint8 byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

AnalyserModel::AnalyserModel(quint64 seed) : random_(seed) {}

double AnalyserModel::uniform() {
    // 53 random bits: the same numbers from the same seed with any standard library.
    return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

double AnalyserModel::gaussian() {
    const double u1 = 1.0 - uniform(); // (0, 1]: the logarithm stays finite
    const double u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

double AnalyserModel::signalAt(qint64 nowMs) {
    const double t = nowMs / 1000.0;
    double s = idleSignal_ + 0.4 * std::sin(t / 900.0) + 0.008 * gaussian();
    for (const Dip& dip : dips_) {
        if (nowMs < dip.onsetMs)
            continue;
        const double u = (nowMs - dip.onsetMs) / 1000.0 / dipSeconds_;
        double fall = dip.depth * u * u * std::exp(2.0 * (1.0 - u));
        if (dip.flushMs && nowMs > *dip.flushMs)
            fall *= std::exp(-(nowMs - *dip.flushMs) / 1000.0 / kFlushSeconds);
        s -= fall;
    }
    // The electrode reads no less than nothing, and the field has six characters.
    return std::clamp(s, 0.0, 999.99);
}

double AnalyserModel::temperatureAt(qint64 nowMs) const {
    return temperature_ + 0.2 * std::sin(nowMs / 1000.0 / 1200.0);
}

QByteArray AnalyserModel::nextLine(qint64 nowMs) {
    dips_.removeIf(
        [nowMs](const Dip& dip) { return dip.flushMs && nowMs - *dip.flushMs > kForgetFlushedMs; });

    const QString signalText = QString::asprintf("%6.2f", signalAt(nowMs));
    const QString temperatureText = QString::asprintf("%4.1f", temperatureAt(nowMs));
    const QString mode = knob_ == KnobPosition::Measuring ? QStringLiteral("изм.") : QStringLiteral("под.");

    std::optional<LineFault> fault;
    if (!faults_.isEmpty())
        fault = faults_.takeFirst();

    auto compose = [&](const QString& unit, const QString& temperature) {
        QString head = signalText + u' ' + unit + u' ' + temperature;
        // The mode word stands 32 characters after the "%" (1-based p+32 .. p+35).
        const qsizetype percent = head.indexOf(u'%');
        head = head.leftJustified(percent + 32, u' ');
        return toCp1251(head + mode) + "\r\n";
    };
    lastCleanLine_ = compose(QStringLiteral("%нас"), temperatureText);
    splitPoint_ = 0;
    if (!fault)
        return lastCleanLine_;

    switch (*fault) {
    case LineFault::WrongUnit:
        log(QStringLiteral("fault: wrong unit marker"));
        return compose(QStringLiteral("%н") + QLatin1Char('a') + QStringLiteral("с"), temperatureText);
    case LineFault::BlankTemperature:
        log(QStringLiteral("fault: blank temperature"));
        return compose(QStringLiteral("%нас"), QStringLiteral("    "));
    case LineFault::Garbage:
        log(QStringLiteral("fault: garbage line"));
        return garbageLine();
    case LineFault::Split:
        splitPoint_ = 1 + static_cast<qsizetype>(uniform() * (lastCleanLine_.size() - 2));
        log(QStringLiteral("fault: line split after %1 bytes").arg(splitPoint_));
        return lastCleanLine_;
    case LineFault::Zeros: {
        const int length = 8 + static_cast<int>(uniform() * 32);
        log(QStringLiteral("fault: %1 zero bytes").arg(length));
        return QByteArray(length, '\0') + "\r\n";
    }
    case LineFault::LongNoise:
        log(QStringLiteral("fault: %1 bytes of noise before the line end").arg(kLongNoiseBytes));
        return noise(kLongNoiseBytes) + "\r\n";
    }
    return lastCleanLine_;
}

QByteArray AnalyserModel::garbageLine() {
    const int length = 8 + static_cast<int>(uniform() * 32);
    QByteArray bytes;
    while (bytes.size() < length) {
        const auto byte = static_cast<char>(0x20 + static_cast<int>(uniform() * (0x100 - 0x20)));
        if (byte != '%') // with a "%" it would be a line with fields, not noise
            bytes.append(byte);
    }
    return bytes + "\r\n";
}

QByteArray AnalyserModel::noise(qsizetype count) {
    QByteArray bytes(count, Qt::Uninitialized);
    for (char& byte : bytes) {
        // One in eight a zero, the rest from 0x80..0xFF.
        const int k = static_cast<int>(uniform() * 1024);
        byte = static_cast<char>(k < 128 ? 0 : 0x80 + (k & 0x7F));
    }
    return bytes;
}

void AnalyserModel::inject(double bodMgPerLitre, qint64 nowMs) {
    log(QStringLiteral("sample injected: BOD %1 mg/l").arg(bodMgPerLitre));
    injectedBod_ = bodMgPerLitre;
    // Injected while the cell is already switched in: the sample travels from now on.
    if (knob_ == KnobPosition::Measuring)
        turnKnob(KnobPosition::Measuring, nowMs);
}

void AnalyserModel::turnKnob(KnobPosition position, qint64 nowMs) {
    if (position == KnobPosition::Preparation) {
        if (knob_ == KnobPosition::Measuring)
            log(QStringLiteral("knob: под. (cell flushed)"));
        for (Dip& dip : dips_)
            if (!dip.flushMs)
                dip.flushMs = nowMs;
        knob_ = position;
        return;
    }
    if (knob_ != KnobPosition::Measuring)
        log(QStringLiteral("knob: изм."));
    knob_ = position;
    if (!injectedBod_)
        return;
    const qint64 onset = nowMs + onsetDelayMs();
    dips_.append({onset, kDepthPerMgPerLitre * *injectedBod_, std::nullopt});
    log(QStringLiteral("sample in the cell: BOD %1 mg/l, the fall starts in %2 ms")
            .arg(*injectedBod_)
            .arg(onset - nowMs));
    injectedBod_.reset();
}

qint64 AnalyserModel::onsetDelayMs() const {
    const double cycles = kLinesPerDelaySecond * transportDelayMs_ / 1000.0;
    return std::llround(cycles * periodMs_);
}

void AnalyserModel::setPeriodMs(qint64 periodMs) {
    periodMs_ = std::max<qint64>(1, periodMs);
    periodExplicit_ = true;
    log(QStringLiteral("period %1 ms").arg(periodMs_));
}

void AnalyserModel::requestFault(LineFault fault) {
    faults_.append(fault);
}

void AnalyserModel::silence(qint64 nowMs, qint64 durationMs) {
    silentFromMs_ = nowMs;
    silentUntilMs_ = nowMs + std::max<qint64>(0, durationMs);
    log(QStringLiteral("silent for %1 ms").arg(durationMs));
}

QStringList AnalyserModel::takeLog() {
    return std::exchange(log_, {});
}

void AnalyserModel::receive(const QByteArray& bytes, qint64 nowMs) {
    // A lone 0xA1 from an earlier burst whose wait is over was a resend, whatever comes now.
    if (parseState_ == ParseState::GotA1 && nowMs - loneA1AtMs_ >= kResendWaitMs)
        resolveLoneA1AsResend();
    for (const char byte : bytes)
        receiveByte(static_cast<quint8>(byte), nowMs);
    if (!unknownBytes_.isEmpty())
        log(QStringLiteral("unknown bytes ignored: %1")
                .arg(QString::fromLatin1(unknownBytes_.toHex(' ').toUpper())));
    unknownBytes_.clear();
}

void AnalyserModel::receiveByte(quint8 byte, qint64 nowMs) {
    switch (parseState_) {
    case ParseState::GotA1:
        if (byte == kStartSecond) {
            parseState_ = ParseState::Frequency;
            return;
        }
        resolveLoneA1AsResend();
        break; // the byte itself starts afresh below
    case ParseState::Frequency:
        startFrequency_ = byte;
        parseState_ = ParseState::ExpectA3;
        return;
    case ParseState::ExpectA3:
        if (byte == kStartSeparator) {
            parseState_ = ParseState::DelayHigh;
            return;
        }
        log(QStringLiteral("start command broken off at %1").arg(hexByte(byte)));
        parseState_ = ParseState::Idle;
        break;
    case ParseState::DelayHigh:
        startDelayHigh_ = byte;
        parseState_ = ParseState::DelayLow;
        return;
    case ParseState::DelayLow:
        parseState_ = ParseState::Idle;
        transportDelayMs_ = (startDelayHigh_ << 8) | byte;
        applyStartCommand();
        return;
    case ParseState::Idle:
        break;
    }

    switch (byte) {
    case kStartByte:
        parseState_ = ParseState::GotA1;
        loneA1AtMs_ = nowMs;
        return;
    case kEndOfOperation:
        log(QStringLiteral("end of operation"));
        return;
    case kUpperPoint:
        log(QStringLiteral("upper point stored"));
        return;
    case kRestoreFactory:
        log(QStringLiteral("factory settings restored"));
        return;
    case kSaveFactory:
        log(QStringLiteral("factory settings saved"));
        return;
    default:
        unknownBytes_.append(static_cast<char>(byte));
    }
}

void AnalyserModel::applyStartCommand() {
    QString text = QStringLiteral("start: frequency byte %1, transport delay %2 ms")
                       .arg(startFrequency_)
                       .arg(transportDelayMs_);
    if (startFrequency_ == 0)
        text += QStringLiteral(", frequency 0 ignored: period stays %1 ms").arg(periodMs_);
    else if (periodExplicit_)
        text += QStringLiteral(", period stays %1 ms (set explicitly)").arg(periodMs_);
    else {
        periodMs_ = 1000 / startFrequency_;
        text += QStringLiteral(", period %1 ms").arg(periodMs_);
    }
    log(text);
}

void AnalyserModel::resolveLoneA1AsResend() {
    parseState_ = ParseState::Idle;
    if (lastCleanLine_.isEmpty()) {
        log(QStringLiteral("resend asked before any line: nothing to send"));
        return;
    }
    ++resendsOwed_;
}

std::optional<qint64> AnalyserModel::resendDecisionDue() const {
    if (parseState_ != ParseState::GotA1)
        return std::nullopt;
    return loneA1AtMs_ + kResendWaitMs;
}

bool AnalyserModel::pendingResend(qint64 nowMs) {
    if (parseState_ == ParseState::GotA1 && nowMs - loneA1AtMs_ >= kResendWaitMs)
        resolveLoneA1AsResend();
    if (resendsOwed_ == 0)
        return false;
    --resendsOwed_;
    log(QStringLiteral("resend of the last line"));
    return true;
}

} // namespace lorimet
