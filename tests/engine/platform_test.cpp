// The system-call stand-ins: per-thread error codes, events and threads, owner windows,
// files and volumes behind CreateFileA, the drive map, and the fault seam.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "platform/device_registry.h"
#include "platform/drive_map.h"
#include "platform/file_api.h"
#include "platform/flat_memory.h"
#include "platform/format_message.h"
#include "platform/handle.h"
#include "platform/last_error.h"
#include "platform/profile.h"
#include "platform/sync.h"
#include "platform/syscalls.h"
#include "platform/udisks.h"
#include "platform/version.h"
#include "platform/window.h"
#include "tests/support/recording_window.h"
#include "tests/support/temp_dir.h"

namespace {

TEST(LastError, BelongsToTheThread) {
    SetLastError(42);
    DWORD other = 1;
    std::thread([&] {
        other = GetLastError();
        SetLastError(7);
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(GetLastError(), 42u);
}

TEST(Events, AutoResetIsConsumedByOneWait) {
    UniqueHandle e(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
    SetEvent(e.get());
    SetEvent(e.get());
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
}

TEST(Events, ManualResetStaysSignalled) {
    UniqueHandle e(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_OBJECT_0);
    ResetEvent(e.get());
    EXPECT_EQ(WaitForSingleObject(e.get(), 0), WAIT_TIMEOUT);
}

TEST(Threads, ExitCodeIsStillActiveWhileRunning) {
    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    HANDLE gate = release.get();
    UniqueHandle t(CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            WaitForSingleObject(static_cast<HANDLE>(p), INFINITE);
            return 5;
        },
        gate, 0, nullptr));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(t.get(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    SetEvent(gate);
    EXPECT_EQ(WaitForSingleObject(t.get(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(t.get(), &code));
    EXPECT_EQ(code, 5u);
}

class EchoWindow : public platform::QueuedWindow {
  public:
    std::thread::id handledOn;
    int posted = 0;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM) override {
        handledOn = std::this_thread::get_id();
        if (message == WM_COMMAND) ++posted;
        return static_cast<LRESULT>(wParam * 2);
    }
    LRESULT OnItemMessage(int id, UINT, WPARAM, LPARAM) override { return id; }
    int OnMessageBox(const std::string& text, const std::string&, UINT) override {
        return text == "yes?" ? IDYES : IDNO;
    }
};

TEST(OwnerWindow, SendRunsOnTheOwnerThreadAndWaits) {
    EchoWindow w;
    LRESULT sent = 0, item = 0;
    int box = 0;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        sent = platform::SendTo(&w, WM_SETTEXT, 21, 0);
        item = platform::SendToItem(&w, 1006, WM_SETTEXT, 0, 0);
        box = platform::ShowMessageBox(&w, "yes?", "Tavrel", MB_YESNO);
        platform::PostTo(&w, WM_COMMAND, 103, 0);
        finished = true;
    });
    ASSERT_TRUE(w.PumpUntil([&] { return finished.load() && w.posted == 1; }, 10000));
    worker.join();
    EXPECT_EQ(sent, 42);
    EXPECT_EQ(item, 1006);
    EXPECT_EQ(box, IDYES);
    EXPECT_EQ(w.handledOn, std::this_thread::get_id());
}

class InlineWindow : public platform::DirectWindow {
  public:
    std::thread::id sentOn, postedOn;
    int items = 0;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM) override {
        (message == WM_COMMAND ? postedOn : sentOn) = std::this_thread::get_id();
        return static_cast<LRESULT>(wParam + 1);
    }
    LRESULT OnItemMessage(int id, UINT, WPARAM, LPARAM) override {
        ++items;
        return id;
    }
    int OnMessageBox(const std::string&, const std::string&, UINT) override { return IDOK; }
};

TEST(OwnerWindow, DirectWindowHandlesSendsOnTheSenderAndPostsOnThePump) {
    InlineWindow w;
    std::thread::id worker;
    LRESULT sent = 0;
    std::thread t([&] {
        worker = std::this_thread::get_id();
        sent = platform::SendTo(&w, WM_SETTEXT, 41, 0);
        for (int i = 0; i < 100; ++i) platform::SendToItem(&w, 1006, WM_SETTEXT, 0, 0);
        platform::PostTo(&w, WM_COMMAND, 103, 0);
    });
    ASSERT_TRUE(w.PumpUntil([&] { return w.postedOn != std::thread::id(); }, 10000));
    t.join();
    EXPECT_EQ(sent, 42);
    EXPECT_EQ(w.items, 100);
    EXPECT_EQ(w.sentOn, worker);
    EXPECT_EQ(w.postedOn, std::this_thread::get_id());
}

TEST(OwnerWindow, OwnerlessMessageBoxesGoToTheHandler) {
    std::string seen;
    platform::SetOwnerlessMessageBox([&](const char* text, const char* caption, UINT) {
        seen = std::string(caption) + "|" + text;
        return IDOK;
    });
    EXPECT_EQ(platform::ShowMessageBox(nullptr, "text", "caption", MB_OK), IDOK);
    platform::SetOwnerlessMessageBox(nullptr);
    EXPECT_EQ(seen, "caption|text");
}

TEST(Version, ReportsNtUnlessTold) {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
    {
        platform::ScopedPlatformId windows95(VER_PLATFORM_WIN32_WINDOWS);
        ASSERT_TRUE(GetVersionExA(&v));
        EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_WINDOWS);
    }
    ASSERT_TRUE(GetVersionExA(&v));
    EXPECT_EQ(v.dwPlatformId, VER_PLATFORM_WIN32_NT);
    v.dwOSVersionInfoSize = 100;
    EXPECT_FALSE(GetVersionExA(&v));
}

TEST(FormatMessage, GivesTheLibraryTextAndFailsForUnknownCodes) {
    char* text = nullptr;
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER;
    ASSERT_GT(FormatMessageA(flags, nullptr, ENOSPC, LANG_USER_DEFAULT,
                             reinterpret_cast<char*>(&text), 0, nullptr),
              0u);
    EXPECT_STREQ(text, std::strerror(ENOSPC));
    LocalFree(text);
    text = nullptr;
    EXPECT_EQ(FormatMessageA(flags, nullptr, 99999, LANG_USER_DEFAULT,
                             reinterpret_cast<char*>(&text), 0, nullptr),
              0u);
    EXPECT_EQ(text, nullptr);
}

// A descriptor the disk service hands over is taken only when it allows the access asked for:
// a write-only one (what a restore call of old gave) cannot read the boot sector.
TEST(UdisksDescriptor, IsTakenOnlyWhenItsAccessModeAllowsWhatWasAskedFor) {
    TempDir dir;
    const std::string file = dir / "drive.raw";
    WriteFileBytes(file, std::string(512, 'x'));
    int writeOnly = ::open(file.c_str(), O_WRONLY | O_CLOEXEC);
    int readOnly = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    int both = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_FALSE(platform::DescriptorAllows(writeOnly, O_RDONLY));
    EXPECT_FALSE(platform::DescriptorAllows(readOnly, O_RDWR));
    EXPECT_TRUE(platform::DescriptorAllows(readOnly, O_RDONLY | O_EXCL));
    EXPECT_TRUE(platform::DescriptorAllows(both, O_RDONLY));
    EXPECT_FALSE(platform::DescriptorAllows(-1, O_RDONLY));
    for (int fd : {writeOnly, readOnly, both}) ::close(fd);
}

TEST(DriveMap, ProcessMappingThenProfileThenDefault) {
    TempDir dir;
    platform::ScopedProfilePath profile(dir / "tavrel.INI");
    EXPECT_EQ(platform::ResolveDriveLetter('a'), "/dev/fd0");
    EXPECT_EQ(platform::ResolveDriveLetter('B'), "/dev/fd1");
    EXPECT_EQ(platform::ResolveDriveLetter('C'), "");
    WritePrivateProfileStringA("Drives", "c", "/srv/floppy.img", (dir / "tavrel.INI").c_str());
    WritePrivateProfileStringA("drives", "A", "/dev/sdz", (dir / "tavrel.INI").c_str());
    EXPECT_EQ(platform::ResolveDriveLetter('C'), "/srv/floppy.img");
    EXPECT_EQ(platform::ResolveDriveLetter('A'), "/dev/sdz");
    {
        platform::ScopedDriveMapping mapped('c', "/tmp/x.img");
        EXPECT_EQ(platform::ResolveDriveLetter('C'), "/tmp/x.img");
        EXPECT_EQ(platform::DriveLetterSource('C'), platform::DriveSource::Process);
    }
    EXPECT_EQ(platform::ResolveDriveLetter('C'), "/srv/floppy.img");
    EXPECT_EQ(platform::ResolveDriveLetter('['), "");
}

class Volumes : public ::testing::Test {
  protected:
    void SetUp() override { WriteFileBytes(image, std::string(4096, '\x11')); }
    HANDLE OpenA() {
        return CreateFileA("\\\\.\\A:", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    TempDir dir;
    std::string image = dir / "disk.img";
    platform::ScopedDriveMapping mapping{'A', image};
};

TEST_F(Volumes, TransfersStopAtTheEndOfTheMedium) {
    UniqueHandle v(OpenA());
    ASSERT_TRUE(v.valid());
    char buffer[1024];
    std::memset(buffer, 0x22, sizeof buffer);
    ASSERT_EQ(SetFilePointer(v.get(), 3584, nullptr, FILE_BEGIN), 3584u);
    DWORD done = 0;
    EXPECT_TRUE(WriteFile(v.get(), buffer, sizeof buffer, &done, nullptr));
    EXPECT_EQ(done, 512u);
    v.Close();
    EXPECT_EQ(ReadFileBytes(image).size(), 4096u) << "a volume never grows";
}

TEST_F(Volumes, LockIsExclusiveUntilUnlocked) {
    UniqueHandle first(OpenA()), second(OpenA());
    ASSERT_TRUE(first.valid() && second.valid());
    EXPECT_TRUE(
        DeviceIoControl(first.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(
        DeviceIoControl(second.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EBUSY));
    EXPECT_TRUE(DeviceIoControl(first.get(), FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr,
                                nullptr));
    EXPECT_TRUE(
        DeviceIoControl(second.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_FALSE(DeviceIoControl(first.get(), 0x1234, nullptr, 0, nullptr, 0, nullptr, nullptr));
}

TEST_F(Volumes, ClosingReleasesTheLock) {
    {
        UniqueHandle first(OpenA());
        ASSERT_TRUE(DeviceIoControl(first.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr,
                                    nullptr));
    }
    UniqueHandle second(OpenA());
    EXPECT_TRUE(
        DeviceIoControl(second.get(), FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, nullptr, nullptr));
}

TEST_F(Volumes, DirectoryAndUnmappedLetterFail) {
    platform::ScopedDriveMapping folder('B', dir.path());
    EXPECT_EQ(CreateFileA("\\\\.\\B:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EISDIR));
    platform::ScopedProfilePath profile(dir / "none.INI");
    EXPECT_EQ(CreateFileA("\\\\.\\Q:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
}

TEST(Files, FifoAndDirectoryAreRefusedWithoutBlocking) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(
        CreateFileA((dir / "fifo").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
        INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EINVAL));
    EXPECT_EQ(CreateFileA(dir.path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EISDIR));
}

TEST(Files, CreateNewRefusesAnExistingFile) {
    TempDir dir;
    WriteFileBytes(dir / "x", "1");
    EXPECT_EQ(CreateFileA((dir / "x").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(EEXIST));
    EXPECT_EQ(ReadFileBytes(dir / "x"), "1");
}

TEST(Devices, OnlyRegisteredDevicesOpen) {
    EXPECT_EQ(CreateFileA("\\\\.\\vwin32", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    struct Dummy : KernelObject {};
    platform::ScopedDevice device("vwin32", [] { return static_cast<HANDLE>(new Dummy); });
    UniqueHandle h(
        CreateFileA("\\\\.\\VWIN32", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(h.valid());
    EXPECT_FALSE(DeviceIoControl(h.get(), 1, nullptr, 0, nullptr, 0, nullptr, nullptr));
}

TEST(FaultSeam, InjectedFailuresSurfaceAndCloseStillReleases) {
    TempDir dir;
    WriteFileBytes(dir / "f", "data");
    int fds = OpenDescriptorCount();
    {
        platform::ScopedFaultHook hook([](platform::SysCall call, const char*) {
            return call == platform::SysCall::Close ? EIO : 0;
        });
        HANDLE h =
            CreateFileA((dir / "f").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_TRUE(IsValidHandle(h));
        EXPECT_FALSE(CloseHandle(h));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(EIO));
    }
    EXPECT_EQ(OpenDescriptorCount(), fds);
    {
        platform::ScopedFaultHook hook([](platform::SysCall call, const char*) {
            return call == platform::SysCall::Open ? EMFILE : 0;
        });
        EXPECT_EQ(
            CreateFileA((dir / "f").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(EMFILE));
    }
}

TEST(FlatMemory, MapsForTheLengthOfACall) {
    char buffer[100];
    DWORD address;
    {
        platform::FlatMapping map(buffer, sizeof buffer);
        address = map.address();
        ASSERT_NE(address, 0u);
        EXPECT_EQ(platform::ResolveFlatAddress(address, 100), buffer);
        EXPECT_EQ(platform::ResolveFlatAddress(address + 10, 90), buffer + 10);
        EXPECT_EQ(platform::ResolveFlatAddress(address + 10, 91), nullptr);
    }
    EXPECT_EQ(platform::ResolveFlatAddress(address, 1), nullptr);
    EXPECT_EQ(platform::ResolveFlatAddress(0x1234, 1), nullptr);
}

}  // namespace
