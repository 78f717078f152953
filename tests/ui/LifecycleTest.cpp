// Start-up, hiding to the tray, closing, and the one-instance rule, with a real settings
// file beside a stand-in executable path.
#include <QtTest/qtestspontaneevent.h>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "FakeDialogs.h"
#include "app/SingleInstance.h"
#include "platform/FileSystem.h"
#include "support/TempFolder.h"
#include "tray/TrayIcon.h"
#include "ui/HelpForm.h"
#include "ui/KelvaneForm.h"
#include "ui/Metrics.h"

using kelvane::testing::FakeDialogs;
using kelvane::testing::TempFolder;
using kelvane::ui::KelvaneForm;

namespace {

std::string storedFile(const std::string& autoSync, const std::string& interval) {
    return "[FilePathAndFileNames]\r\nFile1=/data/a/notes.txt\r\nFile2=/data/b/"
           "notes.txt\r\nFile3=\r\n"
           "[SelectedFiles]\r\nFile1_Selected=1\r\nFile2_Selected=0\r\nFile3_Selected=1.5\r\n"
           "[SyncSettings]\r\nSyncInterval=" +
           interval + "\r\nAutoSync=" + autoSync +
           "\r\n[SyncEvents]\r\nLastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM\r\n"
           "[FormLocation]\r\nFormTop=1500\r\nFormLeft=3000\r\n";
}

}  // namespace

class LifecycleTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<kelvane::platform::FileSystem> fileSystem;
    std::unique_ptr<FakeDialogs> dialogs;
    std::unique_ptr<KelvaneForm> form;

    std::string ini() const { return folder->file("Kelvane.ini"); }
    void start() {
        form = std::make_unique<KelvaneForm>(*fileSystem, *dialogs);
        QVERIFY(
            form->Form_Load(QString::fromStdString(folder->file("Kelvane")), [] { return false; }));
    }
    void userCloses() {
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        QCoreApplication::instance()->notify(form.get(), &close);  // sendEvent would drop the flag
    }

  private slots:
    void init() {
        folder = std::make_unique<TempFolder>();
        fileSystem = kelvane::platform::makeSystemFileSystem();
        dialogs = std::make_unique<FakeDialogs>();
    }

    void cleanup() {
        form.reset();
        folder.reset();
    }

    void storedSettingsComeBack() {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        start();

        QCOMPARE(form->File1Text->text(), QStringLiteral("/data/a/notes.txt"));
        QVERIFY(form->File1Selected->isChecked());
        QVERIFY(!form->File2Selected->isChecked());
        QCOMPARE(form->File3Selected->checkState(), Qt::PartiallyChecked);
        QCOMPARE(form->AutoSyncIntervalText->text(), QStringLiteral("25"));
        QCOMPARE(form->LastSyncLabel->text(),
                 QStringLiteral("File2 updated 3/14/2025 at 9:05:07 PM"));
        QCOMPARE(form->pos(), QPoint(kelvane::ui::toPixels(3000, form.get()),
                                     kelvane::ui::toPixels(1500, form.get())));
        QVERIFY(form->helpForm == nullptr);
        QVERIFY(!form->Timer1->isActive());
    }

    void storedAutoSyncOnStartsTheTimerAndLocksTheSlots() {
        kelvane::testing::writeFile(ini(), storedFile("ON", "30"));
        start();

        QVERIFY(form->Timer1->isActive());
        QCOMPARE(form->Timer1->interval(), 30'000);
        QVERIFY(!form->File1Text->isEnabled());
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" ON "));
    }

    void refusedStoredIntervalLeavesAutoSyncOffInTheRecord() {
        kelvane::testing::writeFile(ini(), storedFile("ON", "75"));
        start();

        QCOMPARE(dialogs->messages, QStringList{QStringLiteral("Max Sync Interval is 60 seconds")});
        QVERIFY(!form->Timer1->isActive());
        QCOMPARE(form->AutoSyncLabel->text(), QStringLiteral(" OFF "));
        QVERIFY(form->SaveSettingsToINI().ok());
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("AutoSync=OFF") != std::string::npos);
        QVERIFY(saved.find("SyncInterval=75") != std::string::npos);
    }

    void lowerCaseOnCountsAsOff() {
        kelvane::testing::writeFile(ini(), storedFile("on", "30"));
        start();

        QVERIFY(!form->Timer1->isActive());
        QVERIFY(form->SaveSettingsToINI().ok());
        QVERIFY(kelvane::testing::readFile(ini()).find("AutoSync=OFF") != std::string::npos);
    }

    // Told once at start-up; never read or written, so nothing blocks on it; and not told
    // again at every "Hide to tray".
    void fifoInPlaceOfTheSettingsFileIsToldOncePerRun() {
        QCOMPARE(::mkfifo(ini().c_str(), 0600), 0);
        start();

        QCOMPARE(dialogs->warnings.size(), 1);
        QVERIFY(dialogs->warnings[0].contains(QString::fromStdString(ini())));
        QVERIFY(dialogs->warnings[0].contains(QStringLiteral("not an ordinary file")));
        QVERIFY(form->helpForm != nullptr);
        form->HideToTrayCommand_Click();
        form->HideToTrayCommand_Click();
        QCOMPARE(dialogs->warnings.size(), 1);
        QVERIFY(std::filesystem::is_fifo(ini()));
    }

    void hideToTrayWritesTheFileAndTheTrayToggleDoesNot() {
        start();
        form->show();
        form->trayIcon()->leftClicked();
        QVERIFY(!form->isVisible());
        QVERIFY(!QFileInfo::exists(QString::fromStdString(ini())));
        form->trayIcon()->leftClicked();
        QVERIFY(form->isVisible());

        form->HideToTrayCommand_Click();

        const std::string saved = kelvane::testing::readFile(ini());
        for (const char* line : {"[FilePathAndFileNames]", "File3_Selected=0", "SyncInterval=10",
                                 "AutoSync=OFF", "LastSyncEvent=NIL", "FormTop=", "FormLeft="}) {
            QVERIFY2(saved.find(line) != std::string::npos, line);
        }
        QVERIFY(saved.find("File1=" + kelvane::settings::firstRunExample(1)) != std::string::npos);
        // Without a tray (as offscreen) the window minimises instead of vanishing for good.
        if (kelvane::tray::TrayIcon::trayAvailable()) {
            QVERIFY(!form->isVisible());
        } else {
            QVERIFY(form->isMinimized());
        }
    }

    void closeBoxAsksAndNoKeepsEverything() {
        start();
        form->show();
        QSignalSpy unloaded(form.get(), &KelvaneForm::unloaded);
        dialogs->answerYes = false;

        userCloses();

        QCOMPARE(dialogs->questions,
                 QStringList{QStringLiteral("Do you really want to stop Kelvane?")});
        QVERIFY(form->isVisible());
        QCOMPARE(unloaded.count(), 0);
        QVERIFY(!QFileInfo::exists(QString::fromStdString(ini())));
    }

    void closeBoxYesSavesClosesHelpAndRemovesTheIcon() {
        start();
        form->show();
        QVERIFY(form->helpForm != nullptr);
        QSignalSpy unloaded(form.get(), &KelvaneForm::unloaded);
        dialogs->answerYes = true;

        userCloses();

        QCOMPARE(unloaded.count(), 1);
        QVERIFY(QFileInfo::exists(QString::fromStdString(ini())));
        QVERIFY(form->helpForm == nullptr);
        QVERIFY(!form->trayIcon()->isShown());
    }

    void exitFromTheTrayMenuAsksNothing() {
        start();
        QSignalSpy unloaded(form.get(), &KelvaneForm::unloaded);

        form->menuExitKelvane->trigger();

        QVERIFY(dialogs->questions.isEmpty());
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(QFileInfo::exists(QString::fromStdString(ini())));
    }

    void sessionEndSavesWithoutWaitingOnAMessage() {
        start();
        const auto readOnly = folder->makeFolder("locked");
        form->iniFilePath =
            QString::fromStdString((readOnly / "missing-folder" / "Kelvane.ini").string());
        QSignalSpy unloaded(form.get(), &KelvaneForm::unloaded);

        form->requestClose(KelvaneForm::CloseCause::SessionEnd);

        QCOMPARE(unloaded.count(), 1);
        QVERIFY(dialogs->questions.isEmpty());
        QVERIFY(dialogs->warnings.isEmpty());
    }

    void failedSaveIsShownWithTheFileAndReason() {
        start();
        form->iniFilePath = QString::fromStdString(folder->file("no-such-folder/Kelvane.ini"));

        form->HideToTrayCommand_Click();

        QCOMPARE(dialogs->warnings.size(), 1);
        QVERIFY(dialogs->warnings.first().contains(QStringLiteral("no-such-folder")));
    }

    void secondInstanceIsRefusedBeforeTouchingAnything() {
        form = std::make_unique<KelvaneForm>(*fileSystem, *dialogs);
        QVERIFY(
            !form->Form_Load(QString::fromStdString(folder->file("Kelvane")), [] { return true; }));

        QCOMPARE(
            dialogs->informations,
            QStringList{QStringLiteral("Kelvane  is already running.\r\nClick system tray icon.")});
        QVERIFY(form->trayIcon() == nullptr);
        QVERIFY(form->helpForm == nullptr);
    }

    void oneOfManyLaunchesHoldsTheLockAndAKillReleasesIt() {
        const QString executable = QString::fromStdString(folder->file("Kelvane"));
        std::vector<std::unique_ptr<QProcess>> launches;
        for (int i = 0; i < 20; ++i) {
            auto process = std::make_unique<QProcess>();
            process->start(QStringLiteral(KELVANE_LOCK_HOLDER),
                           {executable, QStringLiteral("5000")});
            launches.push_back(std::move(process));
        }
        int held = 0;
        QProcess* holder = nullptr;
        for (auto& process : launches) {
            QVERIFY(process->waitForReadyRead(10'000));
            if (process->readAll().startsWith("held")) {
                ++held;
                holder = process.get();
            }
        }
        QCOMPARE(held, 1);

        ::kill(static_cast<pid_t>(holder->processId()), SIGKILL);
        holder->waitForFinished();
        kelvane::app::SingleInstance next(executable);
        QVERIFY(next.acquire());
        for (auto& process : launches) {
            process->kill();
            process->waitForFinished();
        }
    }

    void realProgramStartsAloneAndSavesWhenTold() {
        const QString copy = QString::fromStdString(folder->file("Kelvane"));
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_EXECUTABLE), copy));
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(copy);
        QVERIFY(program.waitForStarted());
        const QString lock = kelvane::app::SingleInstance(copy).lockPath();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(lock), 20'000);
        QTest::qWait(500);  // let start-up finish before the signal arrives

        program.terminate();  // a session end: saves without asking

        QVERIFY(program.waitForFinished(20'000));
        QCOMPARE(program.exitCode(), 0);
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
    }
};

QTEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
