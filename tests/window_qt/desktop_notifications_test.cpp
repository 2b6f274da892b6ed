// On a desktop without a tray (the offscreen platform has none) the layer's
// notifications reach the desktop's notification service: a dbus-daemon of
// the test's own with a service that records what it is asked, registered on
// a connection of its own as a notification daemon would be.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QGuiApplication>
#include <QIcon>
#include <QPixmap>
#include <QStringList>
#include <QTest>
#include <QVariantMap>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window/window.h"
#include "platform/window/window_testing.h"
#include "process_support.h"

namespace {

constexpr const char* ServiceName = "org.freedesktop.Notifications";
constexpr const char* ServicePath = "/org/freedesktop/Notifications";

// A notification server as little as the layer needs: its capabilities and
// every Notify call's arguments. D-Bus delivers to it on its own thread.
class RecordingService : public QDBusVirtualObject {
  public:
    explicit RecordingService(bool markup) : markup_(markup) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard<std::mutex> hold(lock_);
        if (message.member() == "GetCapabilities") {
            QStringList capabilities{"body"};
            if (markup_) capabilities << "body-markup";
            connection.send(message.createReply(QVariant(capabilities)));
        } else if (message.member() == "Notify") {
            calls_.push_back(message.arguments());
            connection.send(message.createReply(QVariant(static_cast<uint>(calls_.size()))));
        } else {
            return false;
        }
        return true;
    }

    std::vector<QVariantList> Calls() {
        std::lock_guard<std::mutex> hold(lock_);
        return calls_;
    }

  private:
    const bool markup_;
    std::mutex lock_;
    std::vector<QVariantList> calls_;
};

class DesktopNotificationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string(DBUS_DAEMON_EXECUTABLE).empty() ||
            ::access(DBUS_DAEMON_EXECUTABLE, X_OK) != 0) {
            GTEST_SKIP() << "no dbus-daemon (Debian package dbus-daemon)";
        }
        char folderTemplate[] = "/tmp/kelvarian-dbus-XXXXXX";
        ASSERT_NE(::mkdtemp(folderTemplate), nullptr);
        folder_ = folderTemplate;
        // A configuration of its own, not the session one: that would start
        // whatever notification daemon the machine has installed.
        e2e::WriteWholeFile(folder_ + "/bus.conf",
                            "<busconfig><type>session</type><listen>unix:path=" + folder_ +
                                "/bus</listen><policy context=\"default\"><allow "
                                "send_destination=\"*\" eavesdrop=\"true\"/><allow "
                                "eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n");
        daemon_ = e2e::Spawn({DBUS_DAEMON_EXECUTABLE, "--config-file=" + folder_ + "/bus.conf",
                              "--nofork", "--nopidfile", "--print-address=1"},
                             {}, folder_, true);
        ASSERT_GT(daemon_.pid, 0);
        std::string printed;
        while (printed.find('\n') == std::string::npos &&
               e2e::ReadSome(daemon_.outputFd, printed, 10000)) {
        }
        ASSERT_NE(printed.find("unix:path="), std::string::npos) << printed;
        address_ = printed.substr(0, printed.find('\n'));
        // Read at the layer's first use of the session bus, which is later.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);

        // Standard error into a file, to count what the layer tells there.
        errors_ = ::open((folder_ + "/stderr").c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
        savedStderr_ = ::dup(STDERR_FILENO);
        ::dup2(errors_, STDERR_FILENO);

        ASSERT_TRUE(platform::InitWindowSystem());
        ASSERT_TRUE(platform::CreateMainWindow("Проверка", 300, 200));
    }

    void TearDown() override {
        if (daemon_.pid <= 0) return;
        platform::DestroyMainWindow();
        if (savedStderr_ >= 0) ::dup2(savedStderr_, STDERR_FILENO);
        e2e::Terminate(daemon_);
        std::filesystem::remove_all(folder_);
    }

    // Until the service answered every notification handed to it.
    static bool AllAnswered() {
        return QTest::qWaitFor([] { return platform::NotificationIcon().desktopPending == 0; },
                               10000);
    }

    std::string Errors() const { return e2e::ReadWholeFile(folder_ + "/stderr"); }
    // Lines of the program's own on standard error (Qt has its say there too).
    int ProgramLines() const {
        const std::string errors = Errors();
        int lines = 0;
        for (std::size_t at = errors.find("kelvarian: "); at != std::string::npos;
             at = errors.find("kelvarian: ", at + 1)) {
            ++lines;
        }
        return lines;
    }

    // Registers `service` as the desktop's notification daemon.
    void Register(RecordingService& service) {
        QDBusConnection daemon =
            QDBusConnection::connectToBus(QString::fromStdString(address_), "notification-daemon");
        ASSERT_TRUE(daemon.isConnected());
        daemon.unregisterObject(ServicePath);
        ASSERT_TRUE(daemon.registerVirtualObject(ServicePath, &service));
        ASSERT_TRUE(daemon.registerService(ServiceName));
    }
    static void Unregister() {
        QDBusConnection daemon = QDBusConnection::connectToBus({}, "notification-daemon");
        daemon.unregisterService(ServiceName);
        daemon.unregisterObject(ServicePath);
    }

    std::string folder_;
    std::string address_;
    e2e::Child daemon_;
    int errors_ = -1;
    int savedStderr_ = -1;
};

std::string Text(const QVariant& value) {
    return value.toString().toStdString();
}

TEST_F(DesktopNotificationsTest, WithoutATrayTheServiceShowsThemAndItsAbsenceBreaksNothing) {
    // No service on the bus yet: nothing is shown, one line says why.
    EXPECT_FALSE(platform::ShowNotificationIcon(true, "Найдено 2 датчика")) << "no tray offscreen";
    platform::ShowNotification("Kelvarian", "Котёл: Нет ответа");
    ASSERT_TRUE(AllAnswered());
    platform::ShowNotification("Kelvarian", "Котёл: Нет ответа");
    ASSERT_TRUE(AllAnswered());
    EXPECT_NE(Errors().find("kelvarian: no desktop notifications ("), std::string::npos);
    EXPECT_EQ(ProgramLines(), 1) << Errors();

    // A server that reads markup: the body is escaped, so a hostile name
    // stays a name.
    RecordingService markupServer(true);
    Register(markupServer);
    QPixmap picture(16, 16);
    picture.fill(Qt::red);
    QGuiApplication::setWindowIcon(QIcon(picture));
    platform::ShowNotification("Kelvarian", "Котёл <b> & Co: вне допустимого диапазона, 40,0 °C");
    ASSERT_TRUE(AllAnswered());
    std::vector<QVariantList> calls = markupServer.Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].size(), 8);
    EXPECT_EQ(Text(calls[0][0]), "Kelvarian");  // app_name
    EXPECT_EQ(calls[0][1].toUInt(), 0u);        // replaces no earlier one
    EXPECT_EQ(Text(calls[0][2]), "kelvarian");  // the icon theme's name
    EXPECT_EQ(Text(calls[0][3]), "Kelvarian");
    EXPECT_EQ(Text(calls[0][4]), "Котёл &lt;b&gt; &amp; Co: вне допустимого диапазона, 40,0 °C");
    EXPECT_TRUE(calls[0][5].toStringList().isEmpty());  // no actions
    const QVariantMap hints = qdbus_cast<QVariantMap>(calls[0][6]);
    EXPECT_EQ(Text(hints.value("desktop-entry")), "kelvarian");
    // The window's picture goes along for servers whose theme lacks the icon:
    // whole rows of RGBA, as the server will read them.
    const QDBusArgument image = hints.value("image-data").value<QDBusArgument>();
    int width = 0, height = 0, stride = 0, bits = 0, channels = 0;
    bool alpha = false;
    QByteArray pixels;
    image.beginStructure();
    image >> width >> height >> stride >> alpha >> bits >> channels >> pixels;
    image.endStructure();
    EXPECT_GT(width, 0);
    EXPECT_EQ(stride, 4 * width);
    EXPECT_EQ(pixels.size(), stride * height);
    EXPECT_TRUE(alpha && bits == 8 && channels == 4);
    if (pixels.size() >= 4) {
        EXPECT_EQ(pixels.left(4), QByteArray("\xff\x00\x00\xff", 4));  // red, opaque
    }
    EXPECT_EQ(calls[0][7].toInt(), -1);  // the server's own time-out

    // Notifications off: nothing is even handed over.
    platform::ShowNotificationIcon(false, "");
    platform::ShowNotification("Kelvarian", "Котёл: в норме, 21,4 °C");
    EXPECT_EQ(platform::NotificationIcon().desktopPending, 0);

    // The daemon goes and a plain-text one takes its place: the failure is
    // not told again, and the new server is asked afresh, so its body stays
    // as written.
    EXPECT_FALSE(platform::ShowNotificationIcon(true, "Найдено 2 датчика"));
    Unregister();
    platform::ShowNotification("Kelvarian", "Котёл: Нет ответа");
    ASSERT_TRUE(AllAnswered());
    RecordingService plainServer(false);
    Register(plainServer);
    platform::ShowNotification("Kelvarian", "R&D: в норме, 21,4 °C");
    ASSERT_TRUE(AllAnswered());
    calls = plainServer.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(Text(calls[0][4]), "R&D: в норме, 21,4 °C");
    EXPECT_EQ(markupServer.Calls().size(), 1u);
    EXPECT_EQ(ProgramLines(), 1) << Errors();
    Unregister();
}

}  // namespace
