// Start-up, hiding to the tray, closing, and the one-instance rule, with a real settings
// file beside a stand-in executable path.
#include <QtTest/qtestspontaneevent.h>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "FakeDialogs.h"
#include "app/SessionEndWatch.h"
#include "app/SingleInstance.h"
#include "platform/FileSystem.h"
#include "platform/TerminationSignal.h"
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

// Whether the process has a handler for the signal. Kelvane catches SIGTERM and SIGHUP
// from before its start-up can open any box, and answers them in its event loop; a
// signal sent earlier would end it the system's way instead.
bool catches(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            return (mask >> (signal - 1)) & 1U;
        }
    }
    return false;
}

// Whether the process holds a whole-file lock, as the one-instance rule takes it.
bool holdsLock(qint64 pid) {
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly)) {
        return false;
    }
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1] == "FLOCK" && fields[4].toLongLong() == pid) {
            return true;
        }
    }
    return false;
}

QProcessEnvironment offscreen() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// The real program, started from a copy of the built executable so it has its own
// settings file and its own lock.
class RealProgram {
  public:
    RealProgram(const QString& executable, const QProcessEnvironment& environment,
                const QStringList& runAs = {}) {
        process_.setProcessEnvironment(environment);
        if (runAs.isEmpty()) {
            process_.start(executable, {});
        } else {
            process_.start(runAs.first(), runAs.mid(1) << executable);
        }
    }
    ~RealProgram() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    qint64 pid() const { return process_.processId(); }
    bool waitUntilCatchingSignals() {
        return process_.waitForStarted() &&
               QTest::qWaitFor([this] { return catches(pid(), SIGTERM); }, 30'000);
    }
    bool waitUntilHoldingTheLock() {
        return QTest::qWaitFor([this] { return holdsLock(pid()); }, 30'000);
    }
    void signal(int number) { ::kill(static_cast<pid_t>(pid()), number); }
    // True when it ended by itself with exit code 0; the limit only keeps a hang from
    // stalling the suite.
    bool endsCleanly() {
        return process_.waitForFinished(30'000) && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }
    bool running() const { return process_.state() == QProcess::Running; }
    QString errors() { return QString::fromLocal8Bit(process_.readAllStandardError()); }

  private:
    QProcess process_;
};

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
    QString installedCopy() const {
        const QString copy = QString::fromStdString(folder->file("Kelvane"));
        if (!QFileInfo::exists(copy)) {
            QFile::copy(QStringLiteral(KELVANE_EXECUTABLE), copy);
        }
        return copy;
    }
    // A second start of the same program file while the first runs: it must be refused,
    // end on SIGTERM and leave the first one's settings file exactly as it was.
    void secondStartIsRefused(const QProcessEnvironment& secondEnvironment) {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        RealProgram first(installedCopy(), offscreen());
        QVERIFY(first.waitUntilCatchingSignals());
        QVERIFY(first.waitUntilHoldingTheLock());
        const std::string before = kelvane::testing::readFile(ini());

        RealProgram second(installedCopy(), secondEnvironment);
        QVERIFY(second.waitUntilCatchingSignals());
        second.signal(SIGTERM);

        QVERIFY(second.endsCleanly());
        QCOMPARE(kelvane::testing::readFile(ini()), before);
        QVERIFY(first.running());
        first.signal(SIGTERM);
        QVERIFY(first.endsCleanly());
        QVERIFY(kelvane::testing::readFile(ini()) != before);
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
        kelvane::testing::writeFile(folder->file("Kelvane"), "a program");
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
        QCOMPARE(next.acquire(), kelvane::app::SingleInstance::Outcome::Held);
        for (auto& process : launches) {
            process->kill();
            process->waitForFinished();
        }
    }

    void realProgramStartsAloneAndSavesWhenTold() {
        RealProgram program(installedCopy(), offscreen());
        QVERIFY(program.waitUntilCatchingSignals());

        program.signal(SIGTERM);  // a session end: saves without asking

        QVERIFY(program.endsCleanly());
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
    }

    // Starts with the real boxes and the session-end watch, opens something modal, and
    // sends SIGTERM once it is open. What was open: a box's text or a dialog's title.
    QString sessionEndsWhile(const std::function<void()>& openSomething) {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        kelvane::ui::QtDialogs boxes;
        kelvane::app::SessionEndWatch sessionEnd(boxes);
        form = std::make_unique<KelvaneForm>(*fileSystem, boxes);
        form->Form_Load(QString::fromStdString(folder->file("Kelvane")), [] { return false; });
        sessionEnd.setWindow(*form);
        form->show();
        form->File2Text->setText(QStringLiteral("/data/c/notes.txt"));
        QString open;
        QTimer::singleShot(0, [&open] {
            if (const QWidget* modal = QApplication::activeModalWidget()) {
                const auto* box = qobject_cast<const QMessageBox*>(modal);
                open = box ? box->text() : modal->windowTitle();
            }
            ::raise(SIGTERM);
        });
        // Should it outlive the signal, cancel it so the test fails instead of hanging.
        QTimer::singleShot(20'000, [&open] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                open = QStringLiteral("still open");
                modal->reject();
            }
        });
        openSomething();
        return open;
    }
    void checkSavedAndUnloaded(const QSignalSpy& unloaded) {
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!form->isVisible());
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("File2=/data/c/notes.txt") != std::string::npos);
        QVERIFY(saved.find("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM") !=
                std::string::npos);
        form.reset();
    }

    void sessionEndWhileTheQuitQuestionIsOpenSavesAndEnds() {
        std::unique_ptr<QSignalSpy> unloaded;
        const QString open = sessionEndsWhile([this, &unloaded] {
            unloaded = std::make_unique<QSignalSpy>(form.get(), &KelvaneForm::unloaded);
            // The close box, as the window system reports it: to the native window, which
            // marks the widget as closing while the question is open.
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            QCoreApplication::instance()->notify(form->windowHandle(), &close);
        });

        QCOMPARE(open, QStringLiteral("Do you really want to stop Kelvane?"));
        checkSavedAndUnloaded(*unloaded);
    }

    void sessionEndWhileTheFileDialogIsOpenSavesAndEnds() {
        std::unique_ptr<QSignalSpy> unloaded;
        const QString open = sessionEndsWhile([this, &unloaded] {
            unloaded = std::make_unique<QSignalSpy>(form.get(), &KelvaneForm::unloaded);
            form->Browse1->click();
        });

        QCOMPARE(open, QStringLiteral("Kelvane Select file"));
        checkSavedAndUnloaded(*unloaded);
        QVERIFY(kelvane::testing::readFile(ini()).find("File1=/data/a/notes.txt") !=
                std::string::npos);
    }

    void everySignalIsAnsweredNotOnlyTheFirst() {
        kelvane::ui::QtDialogs boxes;
        kelvane::app::SessionEndWatch sessionEnd(boxes);
        for (const int signal : {SIGTERM, SIGHUP, SIGTERM}) {
            form = std::make_unique<KelvaneForm>(*fileSystem, boxes);
            QVERIFY(form->Form_Load(QString::fromStdString(folder->file("Kelvane")),
                                    [] { return false; }));
            sessionEnd.setWindow(*form);
            QSignalSpy unloaded(form.get(), &KelvaneForm::unloaded);
            // The last signal was read away: nothing is pending until the next one.
            QCoreApplication::processEvents();
            QCOMPARE(unloaded.count(), 0);

            ::raise(signal);

            QTRY_COMPARE(unloaded.count(), 1);
            form.reset();
        }
    }

    void sessionEndDuringAStartUpMessageSavesAndEnds() {
        kelvane::testing::writeFile(ini(), storedFile("ON", "abc"));  // refused at start
        RealProgram program(installedCopy(), offscreen());
        QVERIFY(program.waitUntilCatchingSignals());

        program.signal(SIGTERM);

        QVERIFY(program.endsCleanly());
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("File1=/data/a/notes.txt") != std::string::npos);
        QVERIFY(saved.find("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM") !=
                std::string::npos);
        QVERIFY(saved.find("File3_Selected=1.5") == std::string::npos);  // rewritten
    }

    void refusedSecondStartWritesNothingAndEndsOnSignal() { secondStartIsRefused(offscreen()); }

    void oneInstanceWhateverTheEnvironment() {
        // A start from ssh, cron or sudo: another runtime folder (or none), other
        // temporary and home folders.
        QProcessEnvironment bare = offscreen();
        bare.insert(QStringLiteral("XDG_RUNTIME_DIR"),
                    QString::fromStdString(folder->makeFolder("run").string()));
        bare.insert(QStringLiteral("TMPDIR"),
                    QString::fromStdString(folder->makeFolder("tmp").string()));
        bare.insert(QStringLiteral("HOME"),
                    QString::fromStdString(folder->makeFolder("home").string()));
        secondStartIsRefused(bare);
    }

    void aProgramFileThatCannotBeLockedIsNotAnotherCopy() {
        kelvane::app::SingleInstance missing(QString::fromStdString(folder->file("gone/Kelvane")));

        QCOMPARE(missing.acquire(), kelvane::app::SingleInstance::Outcome::Unavailable);
        QVERIFY(missing.failure().contains(QString::fromStdString(folder->file("gone/Kelvane"))));
        QVERIFY(missing.failure().contains(QStringLiteral("No such file")));
    }

    void aLockThatCannotBeTakenLetsTheProgramRunAndSaysWhyOnce() {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        const QString copy = installedCopy();
        // Runnable but not readable, so its file cannot be opened to lock it. Root reads
        // anything, so then it runs as nobody, in a folder nobody may write.
        QVERIFY(QFile::setPermissions(
            copy, QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther));
        QStringList runAs;
        QProcessEnvironment environment = offscreen();
        if (::getuid() == 0) {
            runAs = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                                QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                                QStringLiteral("--")};
            std::filesystem::permissions(folder->path(), std::filesystem::perms::all);
            std::filesystem::permissions(ini(), std::filesystem::perms::all);
            environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
            environment.remove(QStringLiteral("LSAN_OPTIONS"));
            environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        }
        RealProgram program(copy, environment, runAs);
        QVERIFY(program.waitUntilCatchingSignals());

        program.signal(SIGTERM);

        QVERIFY(program.endsCleanly());
        const QString errors = program.errors();
        QCOMPARE(errors.count(QStringLiteral("cannot tell whether another copy of it is running")),
                 1);
        QVERIFY(errors.contains(QStringLiteral("Permission denied")));
        // It ran as the one copy would: the session end saved its settings.
        QVERIFY(kelvane::testing::readFile(ini()).find("File3_Selected=1.5") == std::string::npos);
    }
};

QTEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
