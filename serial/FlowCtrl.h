#pragma once

#include <QtGlobal>

namespace lorimet {

enum class DtrControl { Disable, Enable, Handshake };
enum class RtsControl { Disable, Enable, Handshake, Toggle };

// Flow-control settings of the port. The settings are kept as the flag word of the device-control block that
// the Windows serial driver takes, so the word can be shown and stored as it stands; every setter touches
// only its own bits. The port maps the word onto what the platform offers when it applies it.
class FlowCtrl {
  public:
    static constexpr quint32 kBinary = 0x0001; // raw byte transfer, no end-of-file processing; always set
    static constexpr quint32 kTxCtsFlow = 0x0004;
    static constexpr quint32 kTxDsrFlow = 0x0008;
    static constexpr quint32 kDtrMask = 0x0030;
    static constexpr quint32 kDtrEnable = 0x0010;
    static constexpr quint32 kDtrHandshake = 0x0020;
    static constexpr quint32 kRxDsrSensivity = 0x0040;
    static constexpr quint32 kTxContinueXoff = 0x0080;
    static constexpr quint32 kXonXoff = 0x0300; // software flow control in both directions
    static constexpr quint32 kRtsMask = 0x3000;
    static constexpr quint32 kRtsEnable = 0x1000;
    static constexpr quint32 kRtsHandshake = 0x2000;
    static constexpr quint32 kRtsToggle = 0x3000;

    quint32 flags() const { return flags_; }

    bool rxDsrSensivity() const { return has(kRxDsrSensivity); }
    void setRxDsrSensivity(bool on) { set(kRxDsrSensivity, on); }

    DtrControl rxDtrControl() const {
        switch (flags_ & kDtrMask) {
        case kDtrEnable:
            return DtrControl::Enable;
        case kDtrHandshake:
            return DtrControl::Handshake;
        default:
            return DtrControl::Disable;
        }
    }
    void setRxDtrControl(DtrControl control) {
        const quint32 bits = control == DtrControl::Enable      ? kDtrEnable
                             : control == DtrControl::Handshake ? kDtrHandshake
                                                                : 0;
        flags_ = (flags_ & ~kDtrMask) | bits;
    }

    RtsControl rxRtsControl() const {
        switch (flags_ & kRtsMask) {
        case kRtsEnable:
            return RtsControl::Enable;
        case kRtsHandshake:
            return RtsControl::Handshake;
        case kRtsToggle:
            return RtsControl::Toggle;
        default:
            return RtsControl::Disable;
        }
    }
    void setRxRtsControl(RtsControl control) {
        const quint32 bits = control == RtsControl::Enable      ? kRtsEnable
                             : control == RtsControl::Handshake ? kRtsHandshake
                             : control == RtsControl::Toggle    ? kRtsToggle
                                                                : 0;
        flags_ = (flags_ & ~kRtsMask) | bits;
    }

    bool txContinueXoff() const { return has(kTxContinueXoff); }
    void setTxContinueXoff(bool on) { set(kTxContinueXoff, on); }
    bool txCtsFlow() const { return has(kTxCtsFlow); }
    void setTxCtsFlow(bool on) { set(kTxCtsFlow, on); }
    bool txDsrFlow() const { return has(kTxDsrFlow); }
    void setTxDsrFlow(bool on) { set(kTxDsrFlow, on); }
    bool xonXoff() const { return has(kXonXoff); }
    void setXonXoff(bool on) { set(kXonXoff, on); }

    friend bool operator==(const FlowCtrl&, const FlowCtrl&) = default;

  private:
    bool has(quint32 bits) const { return (flags_ & bits) == bits; }
    void set(quint32 bits, bool on) { flags_ = on ? (flags_ | bits) : (flags_ & ~bits); }

    // Binary transfer, DTR on, RTS on: what a freshly made port uses.
    quint32 flags_ = kBinary | kDtrEnable | kRtsEnable;
};

} // namespace lorimet
