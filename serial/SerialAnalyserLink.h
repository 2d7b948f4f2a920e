#pragma once

#include "engine/Interfaces.h"
#include "serial/CiaComPort.h"

#include <functional>

namespace lorimet {

// The engine's link to a real analyser: the port component set up for the instrument (9600 8N1, lines ending
// in CR LF). Every complete line goes to `lineReceived`, one at a time, on the user-interface thread.
class SerialAnalyserLink : public AnalyserLink {
  public:
    SerialAnalyserLink();
    bool open(const QString& port) override;
    void close() override;
    bool isOpen() const override;
    bool write(const QByteArray& bytes) override;
    PortOpenFailure openFailure() const override;

    CiaComPort& port() { return port_; }
    std::function<void(const QByteArray& line)> lineReceived;

  private:
    CiaComPort port_;
};

} // namespace lorimet
