#include "serial/SerialAnalyserLink.h"

#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

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

PortOpenFailure SerialAnalyserLink::openFailure() const {
    const OpenFailure& f = port_.openFailure();
    PortOpenFailure why{f.reason, f.accessDenied, f.deviceGroup, {}};
#ifdef Q_OS_UNIX
    if (const passwd* account = ::getpwuid(::geteuid()))
        why.account = QString::fromLocal8Bit(account->pw_name);
#endif
    return why;
}

bool SerialAnalyserLink::write(const QByteArray& bytes) {
    return port_.writeString(bytes);
}

} // namespace lorimet
