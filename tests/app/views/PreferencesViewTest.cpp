#include "app/views/sheets/PreferencesView.h"

#include "app/remote/RemoteControl.h"
#include "app/shell/AppModel.h"
#include "app/shell/Theme.h"
#include "app/ui/SectionHeader.h"
#include "app/ui/TextButton.h"
#include "app/views/SettingsWindow.h"
#include "core/osc/OSCUDPServer.h"
#include "core/support/app/AppVersion.h"
#include "testsupport/LanguageScope.h"
#include "testsupport/LoopbackHttpStub.h"
#include "testsupport/QtTestApp.h"
#include "testsupport/Subprocess.h"
#include "../shell/ShellFixtures.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

namespace ostrel {
namespace {

using namespace std::chrono_literals;

/// A socket holding a port: TCP listening on 127.0.0.1, or UDP on every interface without
/// SO_REUSEADDR, so that no other socket can bind it while it lives.
class HeldPort {
public:
    enum class Kind { tcp, udp };
    explicit HeldPort(Kind kind) {
        fd_ = ::socket(AF_INET, kind == Kind::tcp ? SOCK_STREAM : SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(kind == Kind::tcp ? INADDR_LOOPBACK : INADDR_ANY);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        if (kind == Kind::tcp) {
            EXPECT_EQ(::listen(fd_, 4), 0);
        }
        socklen_t length = sizeof address;
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin_port);
    }
    ~HeldPort() { ::close(fd_); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    [[nodiscard]] std::uint16_t port() const noexcept { return port_; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

/// A port of `kind` on which nothing is bound at the moment of the call.
std::uint16_t freePort(HeldPort::Kind kind) { return HeldPort(kind).port(); }

/// The HTTP status curl gets for /v1/state on `port`, or 0 when nothing answers.
int stateStatus(std::uint16_t port) {
    const test::ProcessResult curl = test::runWhileProcessingEvents([port] {
        return test::runProcess({"curl", "-s", "-m", "10", "-o", "/dev/null", "-w", "%{http_code}",
                                 "http://127.0.0.1:" + std::to_string(port) + "/v1/state"});
    });
    return curl.exitCode == 0 ? std::stoi(curl.out) : 0;
}

/// Sends /ostrel/pens `count` to the OSC port with oscsend.
void sendPenCount(std::uint16_t port, int count) {
    QProcess oscsend;
    oscsend.start("oscsend", {"127.0.0.1", QString::number(port), "/ostrel/pens", "i", QString::number(count)});
    ASSERT_TRUE(oscsend.waitForFinished(5000));
}

class PreferencesViewTest : public ::testing::Test {
protected:
    PreferencesViewTest() {
        test::ensureQtApp();
        // The servers take ports the system picks, so that the tests never collide with a running program.
        ::setenv("OSTREL_API_PORT", "0", 1);
        ::setenv("OSTREL_OSC_IN_PORT", "0", 1);
    }
    ~PreferencesViewTest() override {
        ::unsetenv("OSTREL_API_PORT");
        ::unsetenv("OSTREL_OSC_IN_PORT");
    }

    std::unique_ptr<AppModel> makeModel(bool services) {
        AppModel::Environment environment;
        environment.settings = &settings;
        environment.panels = std::make_shared<test::ScriptedPanels>();
        environment.pasteboard = std::make_shared<test::MemoryPasteboard>();
        environment.updater.variable = [this](const char* name) -> std::optional<std::string> {
            if (std::string(name) == "KAVRIN_UPDATE_URL") return feed.base() + "/feed";
            return std::nullopt;
        };
        environment.updater.launchDelay = 1h;  // no launch check during a test
        return std::make_unique<AppModel>(AppModel::Options{services, false, false}, std::move(environment));
    }

    static std::string flashed(const AppModel& model) { return model.flashMessage().value_or("(none)"); }

    test::RecordingSettingsStore settings;
    test::LoopbackHttpStub feed{
        {{"/feed",
          {200,
           {},
           R"({"version": ")" + AppVersion::current().version + R"(", "url": "https://example.org/a.zip"})"}}}};
};

bool curlAndOscsendPresent() {
    return !QStandardPaths::findExecutable("curl").isEmpty() && !QStandardPaths::findExecutable("oscsend").isEmpty();
}

TEST_F(PreferencesViewTest, RendersAtItsFixedSizeOnThePanelColour) {
    const auto model = makeModel(false);
    PreferencesView view(*model);
    EXPECT_EQ(view.size(), QSize(470, 490));
    const QImage image = view.grab().toImage();
    ASSERT_EQ(image.size(), QSize(470, 490));
    EXPECT_EQ(image.pixelColor(5, 5), Theme::panel());
    EXPECT_EQ(image.pixelColor(465, 485), Theme::panel());
    // Something is drawn in the top rows (the first header and the language picker).
    int inked = 0;
    for (int y = 20; y < 80; ++y) {
        for (int x = 20; x < 450; ++x) inked += image.pixelColor(x, y) != Theme::panel() ? 1 : 0;
    }
    EXPECT_GT(inked, 200);
    // Everything fits: the privacy note ends above the bottom padding.
    const QRect note = view.privacyNote()->geometry();
    EXPECT_LE(note.bottom(), 490 - 20);
    EXPECT_GE(note.height(), view.privacyNote()->heightForWidth(note.width()));
}

TEST_F(PreferencesViewTest, FieldsStartFromTheRunningServersEachTimeTheWindowOpens) {
    {
        const auto model = makeModel(false);
        PreferencesView view(*model);
        EXPECT_EQ(view.oscPortField()->text(), "9140") << "no OSC server: the default";
        EXPECT_EQ(view.httpPortField()->text(), "17940");
    }
    const auto model = makeModel(true);
    RemoteControl* remote = model->remoteControl();
    ASSERT_NE(remote, nullptr);
    PreferencesView view(*model);
    EXPECT_EQ(view.oscPortField()->text(), QString::number(remote->oscPort()));
    EXPECT_EQ(view.httpPortField()->text(), QString::number(remote->httpPort()));
    EXPECT_NE(remote->oscPort(), 0);

    view.show();
    view.oscPortField()->setText("1234");
    view.httpPortField()->setText("abc");
    view.hide();
    view.show();  // edits that were not applied are gone
    EXPECT_EQ(view.oscPortField()->text(), QString::number(remote->oscPort()));
    EXPECT_EQ(view.httpPortField()->text(), QString::number(remote->httpPort()));
}

TEST_F(PreferencesViewTest, TextsFollowTheLanguageChosenHereOrElsewhere) {
    const test::LanguageScope french(AppLanguage::fr);
    const auto model = makeModel(false);
    model->setLanguage(AppLanguage::fr);
    SettingsWindow window(*model);
    PreferencesView& view = *window.preferences();

    struct Text {
        std::function<QString()> shown;
        QString french;
        QString english;
    };
    const std::vector<Text> texts{
        {[&] { return view.findChildren<SectionHeader*>().at(0)->title(); }, "Langue & Mises à jour",
         "Language & Updates"},
        {[&] { return view.findChildren<SectionHeader*>().at(1)->title(); }, "Ports OSC, API HTTP & MCP",
         "OSC, HTTP API & MCP Ports"},
        {[&] { return view.findChildren<SectionHeader*>().at(2)->title(); }, "Affichage", "Display"},
        {[&] { return view.findChildren<SectionHeader*>().at(3)->title(); }, "Confidentialité", "Privacy"},
        {[&] { return view.launchCheckToggle()->text(); }, "Vérifier les mises à jour au lancement",
         "Check for updates on launch"},
        {[&] { return view.checkNowButton()->text(); }, "Vérifier maintenant…", "Check Now…"},
        {[&] { return view.applyButton()->text(); }, "Appliquer", "Apply"},
        {[&] { return view.displayToggles()[0]->text(); }, "Barre latérale des paramètres", "Parameters sidebar"},
        {[&] { return view.displayToggles()[1]->text(); }, "Trajets rapides stylo levé (2-opt)",
         "Pen-up rapid travel moves (2-opt)"},
        {[&] { return view.displayToggles()[2]->text(); }, "Poignées de contrôle de Bézier", "Bézier control handles"},
        {[&] { return view.languagePicker()->itemText(0); }, "Système", "System"},
        {[&] { return view.languagePicker()->itemText(1); }, "Français", "Français"},
        {[&] { return view.languagePicker()->itemText(2); }, "English", "English"},
    };
    const auto expectAll = [&](bool english) {
        for (std::size_t index = 0; index < texts.size(); ++index) {
            EXPECT_EQ(texts[index].shown(), english ? texts[index].english : texts[index].french) << "text " << index;
        }
        const QStringList labels = [&] {
            QStringList all;
            for (const QLabel* label : view.findChildren<QLabel*>()) all << label->text();
            return all;
        }();
        EXPECT_TRUE(labels.contains(english ? "Incoming OSC Port (UDP)" : "Port OSC entrant (UDP)"));
        EXPECT_TRUE(labels.contains(english ? "Language" : "Langue"));
        EXPECT_TRUE(labels.contains("Port HTTP / MCP (127.0.0.1)")) << "the same in both languages";
        // The window around the preferences is titled in the language and as large as they want.
        EXPECT_EQ(window.windowTitle(), english ? "Settings" : "Réglages");
        EXPECT_EQ(window.size(), view.minimumSize().expandedTo(view.sizeHint()));
    };
    expectAll(false);
    EXPECT_EQ(view.languagePicker()->currentIndex(), 1);

    // Chosen in the picker: the model and the process language follow, and so do the texts.
    view.languagePicker()->setCurrentIndex(2);
    emit view.languagePicker()->activated(2);
    EXPECT_EQ(model->language(), AppLanguage::en);
    EXPECT_EQ(Localization::current(), AppLanguage::en);
    expectAll(true);

    // Chosen elsewhere (the menu): the picker and the texts follow.
    model->setLanguage(AppLanguage::fr);
    EXPECT_EQ(view.languagePicker()->currentIndex(), 1);
    expectAll(false);
}

TEST_F(PreferencesViewTest, ThePrivacyNoteSaysWhereEachPortCanBeReached) {
    const test::LanguageScope restored(Localization::current());
    const auto model = makeModel(false);
    PreferencesView view(*model);
    struct Case {
        AppLanguage language;
        QString network;
        QString loopback;
    };
    for (const Case& c : {Case{AppLanguage::fr, "joignable depuis le réseau local", "cet ordinateur seulement"},
                          Case{AppLanguage::en, "reachable from the local network", "this computer only"}}) {
        model->setLanguage(c.language);
        const QString note = view.privacyNote()->text();
        EXPECT_TRUE(note.contains("OSC (:9140, UDP, " + c.network + ")")) << note.toStdString();
        EXPECT_TRUE(note.contains("HTTP/MCP (127.0.0.1:17940, " + c.loopback + ")")) << note.toStdString();
        EXPECT_FALSE(note.contains("Mac") || note.contains("Apple")) << note.toStdString();
        EXPECT_TRUE(view.privacyNote()->wordWrap());
    }
}

TEST_F(PreferencesViewTest, SwitchesWriteTheirOwnersAndFollowChangesMadeElsewhere) {
    const auto model = makeModel(false);
    PreferencesView view(*model);
    view.show();
    struct Switch {
        const char* name;
        QCheckBox* toggle;
        std::function<bool()> owner;
        std::function<void(bool)> setOwner;
    };
    AppModel& m = *model;
    const std::vector<Switch> switches{
        {"sidebar", view.displayToggles()[0], [&] { return m.showSidebar(); }, [&](bool on) { m.setShowSidebar(on); }},
        {"travel moves", view.displayToggles()[1], [&] { return m.showTravelMoves(); },
         [&](bool on) { m.setShowTravelMoves(on); }},
        {"control handles", view.displayToggles()[2], [&] { return m.showControlPoints(); },
         [&](bool on) { m.setShowControlPoints(on); }},
        {"launch check", view.launchCheckToggle(), [&] { return m.updater().autoCheckOnLaunch(); },
         [&](bool on) { m.updater().setAutoCheckOnLaunch(on); }},
    };
    for (const Switch& s : switches) {
        const bool initial = s.owner();
        EXPECT_EQ(s.toggle->isChecked(), initial) << s.name;
        QTest::mouseClick(s.toggle, Qt::LeftButton, {}, QPoint(6, s.toggle->height() / 2));
        EXPECT_EQ(s.owner(), !initial) << s.name << " written by a click";
        s.setOwner(initial);
        EXPECT_EQ(s.toggle->isChecked(), initial) << s.name << " follows its owner";
    }
}

TEST_F(PreferencesViewTest, CheckNowOpensTheUpdateWindowAndRunsAVisibleCheck) {
    const auto model = makeModel(false);
    model->updater().setAutoCheckOnLaunch(false);  // whatever the launch switch says
    PreferencesView view(*model);
    view.show();
    QTest::mouseClick(view.checkNowButton(), Qt::LeftButton);
    EXPECT_TRUE(model->showUpdater());
    EXPECT_EQ(model->updater().state(), KavrinUpdater::State(UpdaterState::Checking{}));
    ASSERT_TRUE(test::spinUntil(
        [&] { return !std::holds_alternative<UpdaterState::Checking>(model->updater().state()); }, 20s));
    EXPECT_EQ(model->updater().state(),
              KavrinUpdater::State(UpdaterState::UpToDate{model->updater().currentVersion()}));
    EXPECT_EQ(feed.requests().size(), 1u);
    EXPECT_TRUE(view.checkNowButton()->isEnabled());
}

TEST_F(PreferencesViewTest, ReturnInEitherFieldMovesBothServersAndFlashesTheTextsAsTyped) {
    if (!curlAndOscsendPresent()) GTEST_SKIP() << "curl or oscsend is missing (./dev setup)";
    const test::LanguageScope english(AppLanguage::en);
    const auto model = makeModel(true);
    RemoteControl& remote = *model->remoteControl();
    const std::uint16_t oldHTTP = remote.httpPort();
    PreferencesView view(*model);
    view.show();

    const std::uint16_t osc = freePort(HeldPort::Kind::udp);
    const std::uint16_t http = freePort(HeldPort::Kind::tcp);
    const QString oscTyped = " " + QString::number(osc) + " ";
    const QString httpTyped = "+" + QString::number(http) + "\t";
    view.oscPortField()->setText(oscTyped);
    view.httpPortField()->setText(httpTyped);
    QTest::keyClick(view.httpPortField(), Qt::Key_Return);

    EXPECT_EQ(flashed(*model),
              "OSC (:" + oscTyped.toStdString() + ") and HTTP/MCP (:" + httpTyped.toStdString() + ") ports updated");
    EXPECT_EQ(remote.oscPort(), osc);
    EXPECT_TRUE(remote.oscServer()->isRunning());
    EXPECT_EQ(remote.httpPort(), http);
    EXPECT_EQ(stateStatus(http), 200);
    EXPECT_EQ(stateStatus(oldHTTP), 0) << "the old listener is closed";
    sendPenCount(osc, 3);
    EXPECT_TRUE(test::spinUntil([&] { return model->vectorizer().params().penCount == 3; }));

    // Return in the OSC field does the same.
    const std::uint16_t nextOSC = freePort(HeldPort::Kind::udp);
    view.oscPortField()->setText(QString::number(nextOSC));
    QTest::keyClick(view.oscPortField(), Qt::Key_Return);
    EXPECT_EQ(remote.oscPort(), nextOSC);
    EXPECT_EQ(remote.httpPort(), http);
}

TEST_F(PreferencesViewTest, APortInUseIsReportedAndTheOldListenersKeepAnswering) {
    if (!curlAndOscsendPresent()) GTEST_SKIP() << "curl or oscsend is missing (./dev setup)";
    const test::LanguageScope english(AppLanguage::en);
    const auto model = makeModel(true);
    RemoteControl& remote = *model->remoteControl();
    const std::uint16_t oldOSC = remote.oscPort();
    const std::uint16_t oldHTTP = remote.httpPort();
    const OSCUDPServer* oldServer = remote.oscServer();
    PreferencesView view(*model);
    view.show();

    const HeldPort busyUDP(HeldPort::Kind::udp);
    const HeldPort busyTCP(HeldPort::Kind::tcp);
    view.oscPortField()->setText(QString::number(busyUDP.port()));
    view.httpPortField()->setText(QString::number(busyTCP.port()));
    QTest::mouseClick(view.applyButton(), Qt::LeftButton);

    const std::string message = flashed(*model);
    EXPECT_EQ(message, "OSC port " + std::to_string(busyUDP.port()) + " is unavailable; OSC stays on :" +
                           std::to_string(oldOSC) + "; HTTP/MCP port " + std::to_string(busyTCP.port()) +
                           " is unavailable; HTTP/MCP stays on :" + std::to_string(oldHTTP));
    EXPECT_EQ(remote.oscServer(), oldServer);
    EXPECT_EQ(remote.oscPort(), oldOSC);
    EXPECT_TRUE(remote.oscServer()->isRunning());
    EXPECT_EQ(remote.httpPort(), oldHTTP);
    EXPECT_TRUE(remote.isHTTPServerRunning());
    EXPECT_EQ(view.oscPortField()->text(), QString::number(oldOSC)) << "the fields show what runs";
    EXPECT_EQ(view.httpPortField()->text(), QString::number(oldHTTP));

    EXPECT_EQ(stateStatus(oldHTTP), 200) << "the HTTP API still answers on its port";
    sendPenCount(oldOSC, 3);
    EXPECT_TRUE(test::spinUntil([&] { return model->vectorizer().params().penCount == 3; }))
        << "the OSC listener still receives on its port";

    // One refused, the other moved: the refusal is what is reported.
    const std::uint16_t freeOSC = freePort(HeldPort::Kind::udp);
    view.oscPortField()->setText(QString::number(freeOSC));
    view.httpPortField()->setText(QString::number(busyTCP.port()));
    QTest::mouseClick(view.applyButton(), Qt::LeftButton);
    EXPECT_EQ(remote.oscPort(), freeOSC);
    EXPECT_EQ(flashed(*model), "HTTP/MCP port " + std::to_string(busyTCP.port()) +
                                   " is unavailable; HTTP/MCP stays on :" + std::to_string(oldHTTP));
    EXPECT_EQ(stateStatus(oldHTTP), 200);
}

TEST_F(PreferencesViewTest, InvalidPortTextsAreRefusedAndChangeNothing) {
    const test::LanguageScope french(AppLanguage::fr);
    const auto model = makeModel(true);
    RemoteControl& remote = *model->remoteControl();
    const OSCUDPServer* oscServer = remote.oscServer();
    const std::uint16_t oscPort = remote.oscPort();
    const std::uint16_t httpPort = remote.httpPort();
    PreferencesView view(*model);
    view.show();
    const QString validOSC = QString::number(freePort(HeldPort::Kind::udp));
    const QString validHTTP = QString::number(freePort(HeldPort::Kind::tcp));

    for (const QString bad : {"0", "-1", "-0", "65536", "91a", "", " ", "9 140", "0x10"}) {
        for (const bool inOSCField : {true, false}) {
            view.oscPortField()->setText(inOSCField ? bad : validOSC);
            view.httpPortField()->setText(inOSCField ? validHTTP : bad);
            QTest::mouseClick(view.applyButton(), Qt::LeftButton);
            const std::string what = "\"" + bad.toStdString() + "\" in the " + (inOSCField ? "OSC" : "HTTP") + " field";
            EXPECT_EQ(flashed(*model),
                      "Port invalide : « " + bad.toStdString() + " » (un entier de 1 à 65535) ; aucun port modifié")
                << what;
            EXPECT_EQ(remote.oscServer(), oscServer) << what;
            EXPECT_EQ(remote.oscPort(), oscPort) << what;
            EXPECT_EQ(remote.httpPort(), httpPort) << what;
            EXPECT_TRUE(remote.isHTTPServerRunning()) << what;
        }
    }
}

TEST_F(PreferencesViewTest, UnchangedPortsLeaveTheRunningServersAlone) {
    const test::LanguageScope english(AppLanguage::en);
    const auto model = makeModel(true);
    RemoteControl& remote = *model->remoteControl();
    const OSCUDPServer* oscServer = remote.oscServer();
    int httpRestarts = 0;
    QObject::connect(&remote, &RemoteControl::httpPortChanged, [&] { ++httpRestarts; });
    PreferencesView view(*model);
    view.show();
    QTest::mouseClick(view.applyButton(), Qt::LeftButton);
    EXPECT_EQ(remote.oscServer(), oscServer);
    EXPECT_TRUE(oscServer->isRunning());
    EXPECT_TRUE(remote.isHTTPServerRunning());
    EXPECT_EQ(httpRestarts, 0);
    EXPECT_EQ(flashed(*model), "OSC (:" + std::to_string(remote.oscPort()) +
                                   ") and HTTP/MCP (:" + std::to_string(remote.httpPort()) + ") ports updated");
}

TEST_F(PreferencesViewTest, WithoutServersApplyingSaysSoAndChangesNothing) {
    const test::LanguageScope english(AppLanguage::en);
    const auto model = makeModel(false);
    PreferencesView view(*model);
    view.show();
    view.oscPortField()->setText("9141");
    QTest::mouseClick(view.applyButton(), Qt::LeftButton);
    EXPECT_EQ(flashed(*model), "The OSC and HTTP servers are not running; no port changed");
    EXPECT_EQ(model->remoteControl(), nullptr);
}

}  // namespace
}  // namespace ostrel
