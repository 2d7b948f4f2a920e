// A port that does not open: the operator's box keeps its first line and adds what the system said, and for a
// device the account may not use, what to do about it. Tried by an account without root's rights.
#include "fakes/Fakes.h"
#include "fakes/Unprivileged.h"

#include "serial/SerialAnalyserLink.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lorimet;
using namespace lorimet::testing;

namespace {

// Connects to `device` as the program's connect command does; what the port and the box said, a field a
// line: the port's own error, whether it found the access denied, and the box.
QByteArray connectTo(const QString& device) {
    QTemporaryDir dir; // the child's own: the test's folder may be root's
    Configuration config;
    ManualClock clock;
    RecordingDisplay display;
    ScriptedOperator op;
    SerialAnalyserLink link;
    Engine engine(config, display, op, link, clock, dir.path());
    engine.setPort(device);
    engine.PGoClick();
    const QString box = op.boxes.value(0);
    return (link.port().lastError() + u'\n' + (link.openFailure().accessDenied ? u'1' : u'0') + u'\n' +
            (engine.workflow().linkActive ? u'1' : u'0') + u'\n' + box)
        .toUtf8();
}

TEST(PortRefused, TheBoxAddsTheSystemsReasonAndForADeniedDeviceWhatToDo) {
    LockedPty locked;
    ASSERT_TRUE(locked.ok());
    // As a serial device of root:dialout, mode 0660. Only root can give a device a group it is not in.
    LockedPty groupOnly("tty");
    ASSERT_TRUE(groupOnly.ok() || ::geteuid() != 0);
    const QString missing = QStringLiteral("/dev/no-such-serial-device");
    const struct {
        QString device;
        const char* reason;
        bool denied;
        const char* group; // the group the box tells to join
    } cases[] = {
        {locked.path(), "Permission denied", true, "dialout"}, // the device names no group that may
        {groupOnly.path(), "Permission denied", true, "tty"},
        {missing, "No such file or directory", false, ""},
    };
    for (const auto& c : cases) {
        if (c.device.isEmpty())
            continue; // the group's device, which an account other than root cannot make
        SCOPED_TRACE(c.device.toStdString());
        QString why;
        const auto said = runUnprivileged([&] { return connectTo(c.device); }, &why);
        ASSERT_TRUE(said) << why.toStdString();
        const QStringList fields = QString::fromUtf8(*said).split(u'\n');
        ASSERT_EQ(fields.size(), 4) << said->constData();
        // The port's own error text is the same as ever; the reason comes on its own.
        EXPECT_EQ(fields[0], QStringLiteral("Cannot open port '") + c.device + u'\'');
        EXPECT_EQ(fields[1], c.denied ? u"1" : u"0");
        EXPECT_EQ(fields[2], u"0"); // not linked
        const QStringList lines = fields[3].split(u'\r');
        ASSERT_GE(lines.size(), 2) << fields[3].toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("Ошибка | Нет доступа к последовательному порту ") + c.device +
                                QStringLiteral(" !"));
        EXPECT_EQ(lines[1], QStringLiteral("Причина: ") + QString::fromUtf8(c.reason));
        if (c.denied) {
            ASSERT_EQ(lines.size(), 4);
            EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Нет прав на порт: добавьте пользователя ")));
            const QString group = QString::fromLatin1(c.group);
            EXPECT_TRUE(lines[2].endsWith(QStringLiteral(" в группу ") + group)) << lines[2].toStdString();
            EXPECT_TRUE(lines[3].startsWith(QStringLiteral("(sudo usermod -aG ") + group + u' '))
                << lines[3].toStdString();
            EXPECT_TRUE(lines[3].endsWith(QStringLiteral(") и войдите в систему заново.")));
        } else {
            EXPECT_EQ(lines.size(), 2);
        }
    }
}

} // namespace
