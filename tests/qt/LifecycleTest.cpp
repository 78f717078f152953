// The program's start and end as a process: signals at awkward moments with the real
// boxes open, second starts, and the one-instance lock, with a real settings file.
#include <QtTest/qtestspontaneevent.h>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "behaviour/Program.h"
#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"
#include "qt/Dialogs.h"
#include "qt/QtFace.h"
#include "qt/SessionEndWatch.h"
#include "qt/SingleInstance.h"
#include "support/TempFolder.h"
#include "sync/SyncPass.h"

using kelvane::testing::TempFolder;

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

// Whether the process holds a whole-file lock (flock), as `flock FILE COMMAND` takes it.
bool holdsAFileLock(qint64 pid) {
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

// The inodes of the listening sockets whose abstract name starts with the prefix.
QSet<QByteArray> listeningSocketsNamed(const QByteArray& prefix) {
    QSet<QByteArray> inodes;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly)) {
        return inodes;
    }
    constexpr unsigned kListening = 0x10000;  // __SO_ACCEPTCON in the Flags column
    for (const QByteArray& line : table.readAll().split('\n')) {
        // Num RefCount Protocol Flags Type St Inode Path
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 7 && (fields[3].toUInt(nullptr, 16) & kListening) != 0 &&
            fields[7].startsWith('@' + prefix)) {
            inodes.insert(fields[6]);
        }
    }
    return inodes;
}

// The one-instance lock a process holds: a listening socket named for its user.
struct HeldLock {
    bool held = false;
    bool closeOnExec = false;  // a program it starts does not inherit it
};

HeldLock lockOf(qint64 pid, uid_t user) {
    const QSet<QByteArray> sockets =
        listeningSocketsNamed("kelvane/" + QByteArray::number(user) + '/');
    const QString descriptors = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& descriptor : QDir(descriptors).entryList(QDir::System | QDir::Files)) {
        char target[64] = {};
        const QByteArray link = QFile::encodeName(descriptors + '/' + descriptor);
        if (::readlink(link.constData(), target, sizeof target - 1) <= 0) {
            continue;
        }
        const QByteArray linkTarget(target);  // socket:[inode]
        if (!linkTarget.startsWith("socket:[") ||
            !sockets.contains(linkTarget.mid(8, linkTarget.size() - 9))) {
            continue;
        }
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(descriptor));
        info.open(QIODevice::ReadOnly);
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("flags:")) {
                return {true, (line.mid(6).trimmed().toUInt(nullptr, 8) & O_CLOEXEC) != 0};
            }
        }
        return {true, false};
    }
    return {};
}

// The first child of a process: the program a tracer started.
qint64 childOf(qint64 pid) {
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return children.readAll().trimmed().split(' ').first().toLongLong();
}

// Whether the process's main thread has ended, and with what exit code: another of its
// threads may still be held, by a tracer or the kernel, so the process lingers.
bool mainThreadEnded(qint64 pid, int& exitCode) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray line = stat.readAll();
    // After the name in brackets: the state, then the other fields; the exit code is 52nd.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).trimmed().split(' ');
    if (fields.size() < 50 || (fields[0] != "Z" && fields[0] != "X")) {
        return false;
    }
    exitCode = fields[49].toInt();
    return true;
}

QProcessEnvironment offscreen() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return environment;
}

// No leak check: LeakSanitizer cannot look at a traced process, and a process of another
// user may not read the suppressions.
QProcessEnvironment withoutLeakCheck(QProcessEnvironment environment) {
    environment.remove(QStringLiteral("LSAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    return environment;
}

// A command run as the unprivileged user nobody, by root.
QStringList asNobody(const QStringList& command) {
    return QStringList{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                       QStringLiteral("--clear-groups"), QStringLiteral("--")} +
           command;
}
constexpr uid_t kNobody = 65534;

// A user made for one test (as root) and removed after it, with a home folder of its own
// and nothing else: no runtime folder, no session.
class TemporaryUser {
  public:
    explicit TemporaryUser(const std::filesystem::path& home)
        : name_(QStringLiteral("kelvane%1").arg(QCoreApplication::applicationPid())),
          home_(QString::fromStdString(home.string())) {
        made_ = QProcess::execute(
                    QStringLiteral("useradd"),
                    {QStringLiteral("--no-create-home"), QStringLiteral("--home-dir"), home_,
                     QStringLiteral("--shell"), QStringLiteral("/usr/sbin/nologin"),
                     QStringLiteral("--user-group"), name_}) == 0;
        const passwd* entry = made_ ? ::getpwnam(name_.toLocal8Bit().constData()) : nullptr;
        if (entry != nullptr) {
            uid_ = entry->pw_uid;
            made_ = ::chown(home.c_str(), entry->pw_uid, entry->pw_gid) == 0;
        }
    }
    ~TemporaryUser() {
        if (uid_ != 0) {
            QProcess::execute(QStringLiteral("userdel"), {QStringLiteral("--force"), name_});
        }
    }
    TemporaryUser(const TemporaryUser&) = delete;
    TemporaryUser& operator=(const TemporaryUser&) = delete;

    bool made() const { return made_ && uid_ != 0; }
    uid_t uid() const { return uid_; }
    QStringList runAs() const {
        return {QStringLiteral("setpriv"), QStringLiteral("--reuid=") + name_,
                QStringLiteral("--regid=") + name_, QStringLiteral("--init-groups"),
                QStringLiteral("--")};
    }
    // What a start from ssh or cron would have: a home, no desktop session.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = withoutLeakCheck(offscreen());
        for (const QString& name : {QStringLiteral("XDG_RUNTIME_DIR"),
                                    QStringLiteral("XDG_CONFIG_HOME"), QStringLiteral("TMPDIR")}) {
            environment.remove(name);
        }
        environment.insert(QStringLiteral("HOME"), home_);
        environment.insert(QStringLiteral("USER"), name_);
        environment.insert(QStringLiteral("LOGNAME"), name_);
        return environment;
    }

  private:
    QString name_;
    QString home_;
    bool made_ = false;
    uid_t uid_ = 0;
};

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
    bool waitUntilHoldingTheLock(uid_t user = ::getuid()) {
        return QTest::qWaitFor([this, user] { return lockOf(pid(), user).held; }, 30'000);
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

// The program as main runs it: the real boxes, the Qt face and the session-end watch.
struct Running {
    kelvane::qt::QtDialogs boxes;
    kelvane::qt::SessionEndWatch sessionEnd{boxes};
    kelvane::qt::QtFace face{boxes};
    kelvane::behaviour::Program program;
    QSignalSpy ended{&face, &kelvane::qt::QtFace::ended};

    Running(kelvane::platform::FileSystem& fileSystem,
            kelvane::platform::SettingsStore& settingsStore, const std::string& settings)
        : program(face, fileSystem, settingsStore, settings) {
        face.connectTo(program);
        sessionEnd.onSessionEnd = [this] {
            program.closeRequested(kelvane::behaviour::CloseCause::SessionEnd);
        };
        program.start();
    }
};

}  // namespace

class LifecycleTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<kelvane::platform::FileSystem> fileSystem;
    std::unique_ptr<kelvane::platform::SettingsStore> settingsStore;

    std::string ini() const { return folder->file("Kelvane.ini"); }
    // Two ticked files and auto sync every second.
    void writeAutoSyncSettings(const std::string& source, const std::string& target) const {
        kelvane::testing::writeFile(
            ini(), "[FilePathAndFileNames]\nFile1=" + source + "\nFile2=" + target +
                       "\n[SelectedFiles]\nFile1_Selected=1\nFile2_Selected=1\n"
                       "[SyncSettings]\nSyncInterval=1\nAutoSync=ON\n");
    }
    QString installedCopy() const {
        const QString copy = QString::fromStdString(folder->file("Kelvane"));
        if (!QFileInfo::exists(copy)) {
            QFile::copy(QStringLiteral(KELVANE_EXECUTABLE), copy);
        }
        return copy;
    }
    // A second start of the same program path while the first runs: it must be refused,
    // end on SIGTERM and leave the first one's settings file exactly as it was.
    void secondStartIsRefused(
        const QProcessEnvironment& secondEnvironment,
        const std::function<bool()>& betweenStarts = [] { return true; }) {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        RealProgram first(installedCopy(), offscreen());
        QVERIFY(first.waitUntilCatchingSignals());
        QVERIFY(first.waitUntilHoldingTheLock());
        const std::string before = kelvane::testing::readFile(ini());
        QVERIFY(betweenStarts());

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
    // Two slots on a file in two folders, the first newer, auto sync on every second.
    std::pair<std::string, std::string> autoSyncOnto(const std::string& content,
                                                     const std::string& sourceFolder = "a",
                                                     const std::string& targetFolder = "b",
                                                     const std::string& name = "big.bin") {
        folder->makeFolder(sourceFolder);
        folder->makeFolder(targetFolder);
        const std::string source = folder->file(sourceFolder + "/" + name);
        const std::string target = folder->file(targetFolder + "/" + name);
        kelvane::testing::writeFileAt(source, content, 1'700'000'000);
        kelvane::testing::writeFileAt(target, "old", 1'600'000'000);
        writeAutoSyncSettings(source, target);
        return {source, target};
    }
    // The program under strace, each kernel copy held up `delay` microseconds before it
    // begins, as on a slow or stalled volume; true once the copy is under way.
    bool startWithSlowedCopies(std::optional<RealProgram>& tracer, qint64& program,
                               const char* delay) {
        QProcessEnvironment environment = offscreen();
        // LeakSanitizer cannot look at a process that another one traces.
        environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        tracer.emplace(
            installedCopy(), environment,
            QStringList{
                QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("--seccomp-bpf"),
                QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                QStringLiteral("-e"), QStringLiteral("trace=copy_file_range"), QStringLiteral("-e"),
                QStringLiteral("inject=copy_file_range:delay_enter=%1").arg(QLatin1String(delay)),
                QStringLiteral("--")});
        return QTest::qWaitFor(
                   [&] {
                       return (program = childOf(tracer->pid())) != 0 && catches(program, SIGTERM);
                   },
                   30'000) &&
               QTest::qWaitFor([this] { return folder->entries("b").size() == 2; }, 30'000);
    }

  private slots:
    void init() {
        folder = std::make_unique<TempFolder>();
        fileSystem = kelvane::platform::makeSystemFileSystem();
        settingsStore = kelvane::platform::makeSystemSettingsStore();
    }

    void cleanup() { folder.reset(); }

    // A log-out in the middle of a long copy onto a slow disk (each chunk held up half a
    // second by strace): the copy stops, its temporary file goes, the target keeps its
    // old bytes and time, the settings are saved and the program ends.
    void sessionEndDuringACopyStopsItAndEnds() {
        const std::string target = autoSyncOnto(std::string(64 << 20, 'n')).second;
        std::optional<RealProgram> tracer;
        qint64 program = 0;
        QVERIFY(startWithSlowedCopies(tracer, program, "500000"));
        QElapsedTimer sinceSignal;
        sinceSignal.start();

        ::kill(static_cast<pid_t>(program), SIGTERM);

        QVERIFY(tracer->endsCleanly());
        qInfo("ended %lld ms after the signal", static_cast<long long>(sinceSignal.elapsed()));
        QVERIFY(kelvane::testing::readFile(target) == "old");
        QCOMPARE(kelvane::testing::modifiedSinceEpoch(target),
                 std::chrono::nanoseconds(std::chrono::seconds(1'600'000'000)));
        QCOMPARE(folder->entries("b"), std::vector<std::string>{"big.bin"});
        QVERIFY(kelvane::testing::readFile(ini()).find("AutoSync=ON") != std::string::npos);
        QVERIFY(kelvane::testing::readFile(ini()).find("FormTop=") != std::string::npos);
    }

    // A log-out while the copy hangs on a stalled volume (its kernel copy held up 20 s, as
    // a stopped FUSE daemon or a hung network mount would): the program saves and ends
    // within two seconds all the same; the target is untouched, and the temporary file it
    // had to leave is removed by the next pass into that folder.
    void sessionEndDuringAStuckCopySavesAndEndsInTime() {
        const auto [source, target] = autoSyncOnto(std::string(4 << 20, 'n'));
        std::optional<RealProgram> tracer;
        qint64 program = 0;
        QVERIFY(startWithSlowedCopies(tracer, program, "20000000"));
        QElapsedTimer sinceSignal;
        sinceSignal.start();

        ::kill(static_cast<pid_t>(program), SIGTERM);

        int exitCode = -1;
        QVERIFY(QTest::qWaitFor([&] { return mainThreadEnded(program, exitCode); }, 5'000));
        const qint64 took = sinceSignal.elapsed();
        qInfo("ended %lld ms after the signal", static_cast<long long>(took));
        QVERIFY2(took < 2000, qPrintable(QStringLiteral("took %1 ms").arg(took)));
        QCOMPARE(exitCode, 0);
        // strace holds the copy's thread until its own delay is over, where a stalled
        // volume's request gives way to the kill the process ends with: end the tracer.
        tracer.reset();
        QVERIFY(QTest::qWaitFor(
            [&] { return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(program)); }, 10'000));
        QCOMPARE(folder->entries("b").size(), std::size_t{2});  // the copy's temporary file
        QVERIFY(kelvane::testing::readFile(target) == "old");
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("AutoSync=ON") != std::string::npos);
        QVERIFY(saved.find("FormTop=") != std::string::npos);

        kelvane::sync::FileSlots boxes{{{source, kelvane::sync::Tick::On},
                                        {target, kelvane::sync::Tick::On},
                                        {"", kelvane::sync::Tick::Off}}};
        const kelvane::sync::SyncOutcome next =
            kelvane::sync::syncSelectedFiles(boxes, *fileSystem);
        QVERIFY(next.result == kelvane::sync::SyncResult::Copied);
        QCOMPARE(folder->entries("b"), std::vector<std::string>{"big.bin"});
        QVERIFY(kelvane::testing::readFile(target) == kelvane::testing::readFile(source));
    }

    // Paths in bytes that are no UTF-8 (Latin-1 names on Linux) are found by the pass and
    // saved back exactly as they were.
    void latin1PathsAreUsedAndSavedAsTheyAre() {
        const auto [source, target] = autoSyncOnto("new", "d\xe9j\xe0", "caf\xe9", "notes.txt");
        RealProgram program(installedCopy(), offscreen());
        QVERIFY(program.waitUntilCatchingSignals());

        QVERIFY(
            QTest::qWaitFor([&] { return kelvane::testing::readFile(target) == "new"; }, 20'000));
        program.signal(SIGTERM);

        QVERIFY(program.endsCleanly());
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("File1=" + source + "\n") != std::string::npos);
        QVERIFY(saved.find("File2=" + target + "\n") != std::string::npos);
    }

    // What one run saw in step carries into the next: a save in the same second as a
    // whole-second copy, which the times alone cannot tell from no change, is carried over
    // after a restart.
    void inStepStatesCarryAcrossARestart() {
        const auto [source, target] = autoSyncOnto("copied", "a", "b", "notes.txt");
        const auto runUntil = [&](const std::string& content) {
            RealProgram program(installedCopy(), offscreen());
            QVERIFY(program.waitUntilCatchingSignals());
            QVERIFY(QTest::qWaitFor([&] { return kelvane::testing::readFile(target) == content; },
                                    20'000));
            program.signal(SIGTERM);
            QVERIFY(program.endsCleanly());
        };

        runUntil("copied");
        QVERIFY(kelvane::testing::readFile(ini()).find("[SyncState]") != std::string::npos);
        kelvane::testing::writeFileAt(source, "saved in that second", 1'700'000'000, 500'000'000);
        runUntil("saved in that second");
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
        kelvane::qt::SingleInstance next(executable);
        QCOMPARE(next.acquire(), kelvane::qt::SingleInstance::Outcome::Held);
        for (auto& process : launches) {
            process->kill();
            process->waitForFinished();
        }
    }

    void realProgramStartsAloneAndSavesWhenTold() {
        RealProgram program(installedCopy(), offscreen());
        QVERIFY(program.waitUntilCatchingSignals());
        QVERIFY(program.waitUntilHoldingTheLock());
        QVERIFY(lockOf(program.pid(), ::getuid()).closeOnExec);

        program.signal(SIGTERM);  // a session end: saves without asking

        QVERIFY(program.endsCleanly());
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
    }

    // Opens something modal and sends SIGTERM once it is open. What was open: a box's
    // text or a dialog's title.
    QString sessionEndsWhile(Running& running, const std::function<void()>& openSomething) {
        running.face.window().rows[1].path->setText(QStringLiteral("/data/c/notes.txt"));
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
    void checkSavedAndEnded(Running& running) {
        QCOMPARE(running.ended.count(), 1);
        QVERIFY(!running.face.window().isVisible());
        const std::string saved = kelvane::testing::readFile(ini());
        QVERIFY(saved.find("File2=/data/c/notes.txt") != std::string::npos);
        QVERIFY(saved.find("LastSyncEvent=File2 updated 3/14/2025 at 9:05:07 PM") !=
                std::string::npos);
    }

    void sessionEndWhileTheQuitQuestionIsOpenSavesAndEnds() {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        Running running(*fileSystem, *settingsStore, ini());
        const QString open = sessionEndsWhile(running, [&running] {
            // The close box, as the window system reports it: to the native window, which
            // marks the widget as closing while the question is open.
            QCloseEvent close;
            QSpontaneKeyEvent::setSpontaneous(&close);
            QCoreApplication::instance()->notify(running.face.window().windowHandle(), &close);
        });

        QCOMPARE(open, QStringLiteral("Do you really want to stop Kelvane?"));
        checkSavedAndEnded(running);
    }

    void sessionEndWhileTheFileDialogIsOpenSavesAndEnds() {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        Running running(*fileSystem, *settingsStore, ini());
        const QString open = sessionEndsWhile(
            running, [&running] { running.face.window().rows[0].browse->click(); });

        QCOMPARE(open, QStringLiteral("Kelvane Select file"));
        checkSavedAndEnded(running);
        QVERIFY(kelvane::testing::readFile(ini()).find("File1=/data/a/notes.txt") !=
                std::string::npos);
    }

    void everySignalIsAnsweredNotOnlyTheFirst() {
        for (const int signal : {SIGTERM, SIGHUP, SIGTERM}) {
            Running running(*fileSystem, *settingsStore, ini());
            // The last signal was read away: nothing is pending until the next one.
            QCoreApplication::processEvents();
            QCOMPARE(running.ended.count(), 0);

            ::raise(signal);

            QTRY_COMPARE(running.ended.count(), 1);
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

    // What a package upgrade does: the new program file is renamed over the running one.
    void anUpgradeOfTheRunningProgramFileStillFindsTheRunningCopy() {
        secondStartIsRefused(offscreen(), [this] {
            const QString program = installedCopy();
            const QString fresh = QString::fromStdString(folder->file("Kelvane.new"));
            struct stat before {};
            struct stat after {};
            return QFile::copy(QStringLiteral(KELVANE_EXECUTABLE), fresh) &&
                   ::stat(program.toLocal8Bit().constData(), &before) == 0 &&
                   ::rename(fresh.toLocal8Bit().constData(), program.toLocal8Bit().constData()) ==
                       0 &&
                   ::stat(program.toLocal8Bit().constData(), &after) == 0 &&
                   after.st_ino != before.st_ino;
        });
    }

    void eachUserRunsACopyOfTheirOwn() {
        if (::getuid() != 0) {
            QSKIP("needs root to make a second user for the test");
        }
        std::filesystem::permissions(folder->path(), std::filesystem::perms(0755));
        const TemporaryUser user(folder->makeFolder("home"));
        QVERIFY(user.made());
        RealProgram mine(installedCopy(), offscreen());
        QVERIFY(mine.waitUntilHoldingTheLock());

        RealProgram theirs(installedCopy(), user.environment(), user.runAs());

        QVERIFY(theirs.waitUntilHoldingTheLock(user.uid()));
        QVERIFY(mine.running());
        // Theirs first: it must not meet the file mine saves beside the program.
        theirs.signal(SIGTERM);
        QVERIFY(theirs.endsCleanly());
        mine.signal(SIGTERM);
        QVERIFY(mine.endsCleanly());
        // Each saved its own settings: root beside the program, which root may write; the
        // user in their own configuration folder.
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
        QVERIFY(kelvane::testing::readFile(folder->file("home/.config/kelvane/Kelvane.ini"))
                    .find("LastSyncEvent=NIL") != std::string::npos);
    }

    // A file lock on the program file, once the lock, and this user's lock name taken by
    // another user (anyone may bind any abstract name).
    void whatAnotherUserHoldsNeverCountsAsARunningCopy() {
        if (::getuid() != 0) {
            QSKIP("needs root to hold things as another user");
        }
        std::filesystem::permissions(folder->path(), std::filesystem::perms(0755));
        const QString program = installedCopy();
        QProcess fileLock;
        fileLock.start(QStringLiteral("setpriv"),
                       asNobody({QStringLiteral("flock"), QStringLiteral("--no-fork"), program,
                                 QStringLiteral("sleep"), QStringLiteral("30")}));
        QVERIFY(
            QTest::qWaitFor([&fileLock] { return holdsAFileLock(fileLock.processId()); }, 10'000));
        {
            RealProgram runs(program, offscreen());
            QVERIFY(runs.waitUntilHoldingTheLock());
            runs.signal(SIGTERM);
            QVERIFY(runs.endsCleanly());
        }
        const QString holder = QString::fromStdString(folder->file("kelvane_lock_holder"));
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_LOCK_HOLDER), holder));
        QProcess squatter;
        squatter.setProcessEnvironment(withoutLeakCheck(QProcessEnvironment::systemEnvironment()));
        squatter.start(
            QStringLiteral("setpriv"),
            asNobody({holder, program, QStringLiteral("30000"), QString::number(::getuid())}));
        QVERIFY(squatter.waitForReadyRead(10'000));
        QCOMPARE(squatter.readAll(), QByteArray("held\n"));
        std::filesystem::remove(ini());

        RealProgram runs(program, offscreen());

        QVERIFY(runs.waitUntilCatchingSignals());
        runs.signal(SIGTERM);
        QVERIFY(runs.endsCleanly());
        const QString errors = runs.errors();
        QCOMPARE(errors.count(QStringLiteral("cannot tell whether another copy of it is running")),
                 1);
        QVERIFY2(errors.contains(QStringLiteral("another user (user ID %1)").arg(kNobody)),
                 qPrintable(errors));
        QVERIFY(kelvane::testing::readFile(ini()).find("LastSyncEvent=NIL") != std::string::npos);
        for (QProcess* process : {&fileLock, &squatter}) {
            process->kill();
            process->waitForFinished();
        }
    }

    // The Debian package's program in a folder its user may write (as root may write
    // /usr/lib/kelvane): it neither reads nor writes a settings file there, not even one
    // an older version left, and keeps its own in the user's configuration folder.
    void aSystemInstallNeverKeepsSettingsBesideTheProgram() {
        const QString program = QString::fromStdString(folder->file("Kelvane"));
        QVERIFY(QFile::copy(QStringLiteral(KELVANE_SYSTEM_EXECUTABLE), program));
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        const std::string config = folder->makeFolder("config").string();
        QProcessEnvironment environment = offscreen();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(config));
        RealProgram runs(program, environment);
        QVERIFY(runs.waitUntilHoldingTheLock());

        runs.signal(SIGTERM);

        QVERIFY(runs.endsCleanly());
        QCOMPARE(kelvane::testing::readFile(ini()), storedFile("OFF", "25"));
        const std::string own = kelvane::testing::readFile(config + "/kelvane/Kelvane.ini");
        QVERIFY(own.find("LastSyncEvent=NIL") != std::string::npos);  // a first run
    }

    void theLockNeedsThePathNotTheFile() {
        kelvane::qt::SingleInstance missing(QString::fromStdString(folder->file("gone/Kelvane")));
        QCOMPARE(missing.acquire(), kelvane::qt::SingleInstance::Outcome::Held);

        kelvane::qt::SingleInstance unknown{QString()};
        QCOMPARE(unknown.acquire(), kelvane::qt::SingleInstance::Outcome::Unavailable);
        QVERIFY(unknown.failure().contains(QStringLiteral("not known")));
    }

    void aLockThatCannotBeTakenLetsTheProgramRunAndSaysWhyOnce() {
        kelvane::testing::writeFile(ini(), storedFile("OFF", "25"));
        // No socket can be made for the lock, as when the process may open no more files.
        RealProgram tracer(installedCopy(), withoutLeakCheck(offscreen()),
                           {QStringLiteral("strace"), QStringLiteral("-f"), QStringLiteral("-qq"),
                            QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("-e"),
                            QStringLiteral("trace=socket"), QStringLiteral("-e"),
                            QStringLiteral("inject=socket:error=EMFILE"), QStringLiteral("--")});
        qint64 program = 0;
        QVERIFY(QTest::qWaitFor(
            [&] { return (program = childOf(tracer.pid())) != 0 && catches(program, SIGTERM); },
            30'000));

        ::kill(static_cast<pid_t>(program), SIGTERM);

        QVERIFY(tracer.endsCleanly());
        const QString errors = tracer.errors();
        QCOMPARE(errors.count(QStringLiteral("cannot tell whether another copy of it is running")),
                 1);
        QVERIFY2(errors.contains(QStringLiteral("Too many open files")), qPrintable(errors));
        // It ran as the one copy would: the session end saved its settings.
        QVERIFY(kelvane::testing::readFile(ini()).find("File3_Selected=1.5") == std::string::npos);
    }
};

QTEST_MAIN(LifecycleTest)
#include "LifecycleTest.moc"
