#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <fcntl.h>
#include <unistd.h>

#include "components/single_instance.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

sockaddr_un AddressOf(const QString& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
  return address;
}

// A later copy started while this thread's events run, as a second process
// would be: what its TryBecomePrimary() says.
bool StartedFromAnotherThread(const QString& path) {
  std::future<bool> started = std::async(std::launch::async, [path] { return SingleInstance(path).TryBecomePrimary(); });
  EXPECT_TRUE(test::RunUntil([&] { return started.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }))
      << "the later copy had not decided after 10 s";
  return started.get();
}

// Holds the lock as a first copy would, with a socket that listens (or not
// yet) but that nobody serves: a first copy that is hung or still starting.
struct UnservedFirstCopy {
  explicit UnservedFirstCopy(const QString& path) : address(AddressOf(path)) {
    lock = ::open(QFile::encodeName(path + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  }
  void Listen() {
    EXPECT_EQ(::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(::listen(server, 8), 0);
  }
  ~UnservedFirstCopy() {
    ::close(server);
    ::unlink(address.sun_path);
    ::close(lock);
  }
  sockaddr_un address;
  int lock = -1;
  int server = -1;
};

int OpenDescriptors() { return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()); }

// Runs the event loop until the instance is asked to come forward, or gives up after 5 s.
bool waitForActivation(SingleInstance& instance) {
  QEventLoop loop;
  bool activated = false;
  QObject::connect(&instance, &SingleInstance::activationRequested, &loop, [&] {
    activated = true;
    loop.quit();
  });
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  return activated;
}

TEST(SingleInstance, SecondCopyAsksTheFirstToComeForward) {
  const QString path = test::freshShortFolder(QStringLiteral("instance")) + QStringLiteral("/Lumaset.instance");
  {
    SingleInstance first(path);
    ASSERT_TRUE(first.TryBecomePrimary());
    ASSERT_TRUE(first.IsListening());
    int activations = 0;
    QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
    EXPECT_FALSE(StartedFromAnotherThread(path)) << "the second copy did not hear the first";
    EXPECT_EQ(activations, 1);
  }
  EXPECT_FALSE(QFile::exists(path)) << "the socket was left behind";
  SingleInstance afterwards(path);
  EXPECT_TRUE(afterwards.TryBecomePrimary());
}

// Whatever else connects is let go: a line that is not the request, more
// than a request can be, or nothing at all (at its deadline); a copy is still heard.
TEST(SingleInstance, OnlyTheRequestBringsTheWindowForward) {
  const QString path = test::freshShortFolder(QStringLiteral("callers")) + QStringLiteral("/Lumaset.instance");
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
  const auto call = [&](const QByteArray& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL), bytes.size());
    return fd;
  };
  const int silent = call({});
  const int wrong = call("come forward\n");
  const int endless = call(QByteArray(100, 'a'));
  for (const int fd : {wrong, endless, silent}) {
    // Let go: the program hangs up without having brought anything forward.
    char reply = 0;
    EXPECT_TRUE(test::RunUntil([&] { return ::recv(fd, &reply, 1, MSG_DONTWAIT) == 0; }));
    ::close(fd);
  }
  EXPECT_EQ(activations, 0);
  EXPECT_FALSE(StartedFromAnotherThread(path)) << "the copy was not heard";
  EXPECT_EQ(activations, 1);
}

// A path too long for a socket: every copy starts unchecked, at once.
TEST(SingleInstance, APathTooLongForASocketStartsEveryCopyAtOnce) {
  const QString path = test::freshShortFolder(QStringLiteral("long")) + QLatin1Char('/') + QString(150, QLatin1Char('n'));
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  EXPECT_FALSE(first.IsListening());
  QElapsedTimer clock;
  clock.start();
  SingleInstance second(path);
  EXPECT_TRUE(second.TryBecomePrimary());
  EXPECT_LT(clock.elapsed(), 1000) << "the second copy knocked where no copy can listen";
}

TEST(SingleInstance, SocketLeftByACrashedCopyIsTakenOver) {
  const QString path = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/stale");
  QFile::resize(path + QStringLiteral(".lock"), 0);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);  // the socket file stays behind, with nobody listening

  SingleInstance instance(path);
  EXPECT_TRUE(instance.TryBecomePrimary());
  EXPECT_TRUE(instance.IsListening());
}

// Another local user could make a folder in shared /tmp first; only a real
// folder of this user's with mode 0700 holds the lock. Without one, and with a
// link at the lock's path, the program still starts, only unchecked.
TEST(SingleInstance, TheLockLivesOnlyInAFolderOfTheUsersOwn) {
  const QString root = test::freshFolder(QStringLiteral("instance-folders")) + QLatin1Char('/');
  const auto folderWith = [&](const QString& name, int mode) {
    QDir().mkpath(root + name);
    ::chmod(QFile::encodeName(root + name).constData(), mode);
    return root + name;
  };
  QFile::link(folderWith(QStringLiteral("kept"), 0700), root + QStringLiteral("link"));
  test::WriteText(root + QStringLiteral("file"), "x");
  struct Case { QString folder; bool accepted; };
  const Case cases[] = {
      {root + QStringLiteral("missing"), true}, {root + QStringLiteral("kept"), true},
      {folderWith(QStringLiteral("open"), 0777), false}, {folderWith(QStringLiteral("readable"), 0755), false},
      {folderWith(QStringLiteral("sticky"), 01700), false}, {root + QStringLiteral("link"), false},
      {root + QStringLiteral("file"), false}, {root + QStringLiteral("missing/deeper/still"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SingleInstance::ServerPathIn(c.folder), c.accepted ? c.folder + "/Lumaset.instance" : QString())
        << c.folder.toStdString();
  }
  // Nor does a folder of another user's, whatever its mode: root gives one
  // away; anyone else finds root's own.
  const QString others = ::geteuid() == 0 ? folderWith(QStringLiteral("others"), 0700) : QStringLiteral("/root");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(QFile::encodeName(others).constData(), 65534, 65534), 0);
  }
  EXPECT_EQ(SingleInstance::ServerPathIn(others), QString());
  EXPECT_EQ(QFile::permissions(root + QStringLiteral("missing")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser |
                QFileDevice::WriteUser | QFileDevice::ExeUser);

  // Neither the runtime folder nor the temporary folder's own one will do.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray temporary = qgetenv("TMPDIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + QStringLiteral("open")));
  qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("readable")));
  folderWith(QStringLiteral("readable/lumaset-%1").arg(::geteuid()), 0777);
  const QString refused = SingleInstance::DefaultServerPath();
  qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("kept")));
  const QString own = SingleInstance::DefaultServerPath();
  for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, {"TMPDIR", temporary}}) {
    if (value.isNull()) {
      qunsetenv(name);
    } else {
      qputenv(name, value);
    }
  }
  EXPECT_EQ(refused, QString());
  EXPECT_EQ(own, root + QStringLiteral("kept/lumaset-%1/Lumaset.instance").arg(::geteuid()));
  SingleInstance unchecked(refused);
  EXPECT_TRUE(unchecked.TryBecomePrimary());
  EXPECT_FALSE(unchecked.IsListening());

  // A link at the lock's path is neither followed nor locked; without it
  // the same path is locked and listened on (a folder whose path is short
  // enough for a socket, wherever the temporary folder lies).
  const QString linkFolder = test::freshShortFolder(QStringLiteral("link"));
  const QString path = linkFolder + QStringLiteral("/Lumaset.instance");
  ASSERT_TRUE(QFile::link(linkFolder + QStringLiteral("/victim"), path + QStringLiteral(".lock")));
  {
    SingleInstance linked(path);
    EXPECT_TRUE(linked.TryBecomePrimary());
    EXPECT_FALSE(linked.IsListening());
    EXPECT_FALSE(QFile::exists(linkFolder + QStringLiteral("/victim")));
  }
  ASSERT_TRUE(QFile::remove(path + QStringLiteral(".lock")));
  SingleInstance plain(path);
  EXPECT_TRUE(plain.TryBecomePrimary());
  EXPECT_TRUE(plain.IsListening());
}

// The copy that the two-process test starts: this same test program, run with
// only this test enabled and the socket's path in LUMASET_INSTANCE_SERVER.
TEST(SingleInstance, DISABLED_RunAsACopy) {
  SingleInstance instance(qEnvironmentVariable("LUMASET_INSTANCE_SERVER"));
  if (!instance.TryBecomePrimary()) {
    std::printf("copy: secondary\n");
  } else {
    std::printf("copy: primary\n");
    std::fflush(stdout);
    if (waitForActivation(instance)) std::printf("copy: activated\n");
  }
  std::fflush(stdout);
}

TEST(SingleInstance, TwoCopiesStartedTogetherAgreeOnOne) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LUMASET_INSTANCE_SERVER"),
                     test::freshShortFolder(QStringLiteral("together")) + QStringLiteral("/Lumaset.instance"));
  QProcess copies[2];
  for (QProcess& copy : copies) {
    copy.setProcessEnvironment(environment);
    copy.start(QCoreApplication::applicationFilePath(),
               {"--gtest_also_run_disabled_tests", "--gtest_filter=SingleInstance.DISABLED_RunAsACopy"});
  }
  QString outputs;
  for (QProcess& copy : copies) {
    ASSERT_TRUE(copy.waitForFinished(10000)) << "a copy did not end within 10 s";
    outputs += QString::fromUtf8(copy.readAllStandardOutput());
  }
  for (const char* line : {"copy: primary", "copy: secondary", "copy: activated"})
    EXPECT_EQ(outputs.count(line), 1) << outputs.toStdString();
}


// A first copy that takes the request into its queue but never answers (it
// was stopped, or hangs) is given up on: the later copy starts by itself.
TEST(SingleInstance, AFirstCopyThatNeverAnswersIsGivenUpOn) {
  const QString path = test::freshShortFolder(QStringLiteral("hung")) + QStringLiteral("/Lumaset.instance");
  UnservedFirstCopy hung(path);
  hung.Listen();
  SingleInstance later(path);
  EXPECT_TRUE(later.TryBecomePrimary()) << "a hung first copy kept the later one from starting";
  EXPECT_FALSE(later.IsListening());
}

// A first copy that listens only a second after taking the lock is still
// found: the later copy keeps knocking for its whole deadline, and ends.
TEST(SingleInstance, ALaterCopyWaitsForAFirstCopyStillStarting) {
  const QString path = test::freshShortFolder(QStringLiteral("starting")) + QStringLiteral("/Lumaset.instance");
  UnservedFirstCopy first(path);
  std::thread serve([&first] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    first.Listen();
    const int caller = ::accept(first.server, nullptr, nullptr);
    char line[16] = {};
    (void)::recv(caller, line, sizeof line - 1, 0);
    if (QByteArray(line) == "activate\n") (void)::send(caller, "activated\n", 10, MSG_NOSIGNAL);
    ::close(caller);
  });
  SingleInstance later(path);
  const bool started = later.TryBecomePrimary();
  serve.join();
  EXPECT_FALSE(started) << "the later copy opened a second window instead of waiting for the first";
}

// Callers that connect and say nothing cost the first copy only a few
// descriptors, and a copy is heard among them.
TEST(SingleInstance, SilentCallersCannotCrowdOutACopy) {
  const QString path = test::freshShortFolder(QStringLiteral("crowd")) + QStringLiteral("/Lumaset.instance");
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  const sockaddr_un address = AddressOf(path);
  const int before = OpenDescriptors();
  std::vector<int> silent;
  while (silent.size() < 100) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      ASSERT_EQ(errno, EAGAIN) << std::strerror(errno);
      QCoreApplication::processEvents();  // the queue is full until the first copy takes some
    }
    silent.push_back(fd);
    QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  EXPECT_LE(OpenDescriptors() - before - 100, 20) << "the first copy holds a descriptor for every silent caller";
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
  EXPECT_FALSE(StartedFromAnotherThread(path)) << "the copy was not heard among the silent callers";
  EXPECT_EQ(activations, 1);
  for (const int fd : silent) ::close(fd);
}

// Callers that connect and hang up over and over never hold up the first
// copy's window: its event loop turns after every few callers, not once they
// stop coming, and a later copy is heard among them.
TEST(SingleInstance, CallersThatKeepComingLetTheWindowRun) {
  const QString path = test::freshShortFolder(QStringLiteral("flood")) + QStringLiteral("/Lumaset.instance");
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  const sockaddr_un address = AddressOf(path);
  constexpr int kCalls = 3000;
  std::atomic<bool> stop{false};
  std::atomic<int> calls{0};
  std::vector<std::thread> callers;
  for (int i = 0; i < 4; ++i) {
    callers.emplace_back([&] {
      // Never blocked in a full queue: each ends as soon as it is told to.
      while (!stop) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) ++calls;
        ::close(fd);
      }
    });
  }
  int mostBetweenTurns = 0;
  int atLastTurn = 0;
  QTimer turns;
  QObject::connect(&turns, &QTimer::timeout, [&] {
    mostBetweenTurns = std::max(mostBetweenTurns, calls - atLastTurn);
    atLastTurn = calls;
  });
  turns.start(0);
  EXPECT_TRUE(test::RunUntil([&] { return calls >= kCalls; })) << kCalls << " callers come";
  std::future<bool> later = std::async(std::launch::async, [path] { return SingleInstance(path).TryBecomePrimary(); });
  EXPECT_TRUE(test::RunUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }))
      << "the later copy's decision";
  stop = true;
  for (std::thread& caller : callers) caller.join();
  EXPECT_FALSE(later.get()) << "the later copy was not heard among the callers";
  EXPECT_LT(mostBetweenTurns, 200) << "callers came between two turns of the event loop";
}

// Without a descriptor to take one more caller, the first copy pauses
// instead of waking for the queued caller over and over, and takes callers
// again once it has descriptors.
TEST(SingleInstance, OutOfDescriptorsTheFirstCopyWaitsInsteadOfSpinning) {
  const QString path = test::freshShortFolder(QStringLiteral("fds")) + QStringLiteral("/Lumaset.instance");
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  const sockaddr_un address = AddressOf(path);
  const int caller = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(::connect(caller, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  {
    // The sanitizer checks a virtual call's type through a pipe the first
    // time it meets it, which fails without a descriptor; the call the
    // first copy makes when it pauses is met here first.
    QSocketNotifier met(caller, QSocketNotifier::Read);
    met.setEnabled(false);
  }
  QEventLoop loop;
  (void)loop.isRunning();
  rlimit kept{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &kept), 0);
  rlimit none = kept;
  const int lowestFree = ::dup(0);  // descriptors are numbered from the lowest free one: none below it is
  ::close(lowestFree);
  none.rlim_cur = static_cast<rlim_t>(lowestFree);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
  int wakes = 0;
  const QMetaObject::Connection counting = QObject::connect(QAbstractEventDispatcher::instance(),
                                                            &QAbstractEventDispatcher::awake, [&] { ++wakes; });
  QTimer::singleShot(300, &loop, &QEventLoop::quit);
  loop.exec();
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &kept), 0);
  QObject::disconnect(counting);
  EXPECT_LT(wakes, 100) << "the first copy woke " << wakes << " times in 0.3 s for a caller it could not take";
  char reply = 0;
  EXPECT_TRUE(test::RunUntil([&] { return ::recv(caller, &reply, 1, MSG_DONTWAIT) == 0; }))
      << "the silent caller was never taken and let go";
  ::close(caller);
}

}  // namespace
}  // namespace lumaset
