#include "serial/SerialAnalyserLink.h"

namespace lorimet {

SerialAnalyserLink::SerialAnalyserLink() {
    configureForAnalyser(port_);
    port_.onDataAvailable = [this] {
        const QByteArray line = port_.readString();
        if (lineReceived)
            lineReceived(line);
    };
}

bool SerialAnalyserLink::open(const QString& port) {
    port_.setPortName(port);
    return port_.open();
}

void SerialAnalyserLink::close() {
    port_.close();
}

bool SerialAnalyserLink::isOpen() const {
    return port_.isActive();
}

bool SerialAnalyserLink::write(const QByteArray& bytes) {
    return port_.writeString(bytes);
}

} // namespace lorimet
