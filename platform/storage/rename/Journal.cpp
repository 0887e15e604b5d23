// platform/storage/rename/Journal.cpp: the process's write-ahead journal and the reader of earlier
// ones.
//
// A journal is "ORVJRNL1" and then records, each: its length (4 bytes, little-endian), the
// record, and a checksum (FNV-1a, 4 bytes) of length and record. A record: the step (1 byte),
// folder device and node (8 each), three byte strings (folder path, from, to; each a 2-byte
// length and its bytes), and the file's identity (device, node: 8 each; has_times: 1; size,
// modified and changed seconds and nanoseconds: 8 each).
#include "platform/storage/rename/Journal.h"

#include "platform/storage/rename/FileSystemTraits.h"
#include "platform/storage/rename/Rename.h"
#include "platform/support/Folders.h"
#include "platform/support/OpenRegular.h"
#include "platform/support/PathParts.h"
#include "platform/support/ProgramName.h"
#include "platform/support/Trace.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

constexpr char kMagic[8] = { 'O', 'R', 'V', 'J', 'R', 'N', 'L', '1' };
constexpr char kPrefix[] = "journal-";
constexpr size_t kMaxRecord = 3 * (2 + 4096) + 128; // a record's bytes between length and sum
constexpr size_t kMaxJournal = 64u << 20; // only this much of a journal is ever read
constexpr int kKept = 20;
constexpr auto kSyncEvery = std::chrono::milliseconds(100);

uint32_t fnv1a(const unsigned char* data, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

void put(std::string& out, uint64_t value, int bytes)
{
    char little[8];
    for (int i = 0; i < bytes; ++i)
        little[i] = static_cast<char>(value >> (8 * i) & 0xFF);
    out.append(little, static_cast<size_t>(bytes));
}

void put_string(std::string& out, std::string_view text)
{
    put(out, text.size(), 2);
    out += text;
}

void put_time(std::string& out, const timespec& time)
{
    put(out, static_cast<uint64_t>(time.tv_sec), 8);
    put(out, static_cast<uint64_t>(time.tv_nsec), 8);
}

// A record's fields as they are encoded, its texts borrowed: a note copies none of them.
struct record_view {
    journal_step step;
    dev_t folder_device;
    ino_t folder_node;
    std::string_view folder_path, from, to;
    const node_ref& file;
};

record_view view_of(const journal_record& record)
{
    return { record.step, record.folder_device, record.folder_node, record.folder_path, record.from,
        record.to, record.file };
}

// Appends the record's bytes to out; false, and out as it was, when a string does not fit.
bool encode_into(std::string& out, const record_view& record)
{
    if (record.folder_path.size() > 4096 || record.from.size() > 4096 || record.to.size() > 4096)
        return false;
    const size_t start = out.size();
    out.reserve(start + 128 + record.folder_path.size() + record.from.size() + record.to.size());
    put(out, 0, 4); // the length, once known
    put(out, static_cast<uint8_t>(record.step), 1);
    put(out, static_cast<uint64_t>(record.folder_device), 8);
    put(out, record.folder_node, 8);
    put_string(out, record.folder_path);
    put_string(out, record.from);
    put_string(out, record.to);
    put(out, static_cast<uint64_t>(record.file.device), 8);
    put(out, record.file.node, 8);
    put(out, record.file.has_times ? 1 : 0, 1);
    put(out, static_cast<uint64_t>(record.file.size), 8);
    put_time(out, record.file.modified);
    put_time(out, record.file.changed);
    const size_t length = out.size() - start - 4;
    for (int i = 0; i < 4; ++i)
        out[start + i] = static_cast<char>(length >> (8 * i) & 0xFF);
    put(out, fnv1a(reinterpret_cast<const unsigned char*>(out.data() + start), out.size() - start),
        4);
    return true;
}

std::string encode(const journal_record& record)
{
    std::string out;
    encode_into(out, view_of(record));
    return out;
}

// Reads one record's fields from a checked span.
struct Reader {
    const unsigned char* at;
    size_t left;

    bool take(uint64_t* value, int bytes)
    {
        if (left < static_cast<size_t>(bytes))
            return false;
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= static_cast<uint64_t>(at[i]) << (8 * i);
        at += bytes;
        left -= static_cast<size_t>(bytes);
        *value = v;
        return true;
    }
    bool take_string(std::string* text)
    {
        uint64_t size;
        if (!take(&size, 2) || size > left)
            return false;
        text->assign(reinterpret_cast<const char*>(at), size);
        at += size;
        left -= size;
        return true;
    }
    bool take_time(timespec* time)
    {
        uint64_t sec, nsec;
        if (!take(&sec, 8) || !take(&nsec, 8) || nsec >= 1000000000u)
            return false;
        time->tv_sec = static_cast<time_t>(sec);
        time->tv_nsec = static_cast<long>(nsec);
        return true;
    }
};

bool decode(const unsigned char* data, size_t size, journal_record* record)
{
    Reader in { data, size };
    uint64_t step, folderDevice, folderNode, device, node, times, fileSize;
    if (!in.take(&step, 1) || step < 1 || step > static_cast<uint64_t>(journal_step::undone)
        || !in.take(&folderDevice, 8) || !in.take(&folderNode, 8)
        || !in.take_string(&record->folder_path) || !in.take_string(&record->from)
        || !in.take_string(&record->to) || !in.take(&device, 8) || !in.take(&node, 8)
        || !in.take(&times, 1) || times > 1 || !in.take(&fileSize, 8)
        || !in.take_time(&record->file.modified) || !in.take_time(&record->file.changed)
        || in.left != 0)
        return false;
    record->step = static_cast<journal_step>(step);
    record->folder_device = static_cast<dev_t>(folderDevice);
    record->folder_node = static_cast<ino_t>(folderNode);
    record->file.device = static_cast<dev_t>(device);
    record->file.node = static_cast<ino_t>(node);
    record->file.has_times = times == 1;
    record->file.size = static_cast<off_t>(fileSize);
    return true;
}

// The state folder, made (0700) where it is missing when `make` says so; empty when there is
// none.
std::string state_folder(bool make)
{
    std::string base = xdg_base_directory("XDG_STATE_HOME", "/.local/state");
    if (base.empty())
        return std::string();
    std::string folder = base + "/" + program_leaf();
    if (make && make_directories(folder) != B_OK)
        return std::string();
    return folder;
}

// The state folder opened for lookups, never through a link, and only when it is ours: -1
// otherwise.
int open_state_folder(const std::string& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid())) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

// The journal names in the state folder, oldest first.
std::vector<std::string> journal_names(int folderFd)
{
    std::vector<std::string> names;
    DIR* dir = open_listing(folderFd);
    if (dir == nullptr)
        return names;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) == 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A journal opened for reading: a regular file of ours, never through a link; -1 otherwise.
int open_journal(int folderFd, const std::string& name)
{
    int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The process's journal. One lock guards it; the disk is waited for outside the lock, so an
// append never waits for a sync.
std::mutex sLock;
int sFd = -1;
off_t sEnd = 0; // the bytes handed to the kernel: only this process writes the journal
off_t sSyncing = 0; // the bytes the latest fdatasync begun covers
off_t sSynced = 0; // the bytes a finished fdatasync covers
bool sFailed = false;
status_t sFailure = B_OK;
std::string sPath;
// `done` records not written yet (and, for a moment, the record being appended): they go out
// in the same write(2) as the next record, or at the next sync. Only the end of a rename that
// journaled no step waits so: such a rename leaves recovery nothing to act on, and its `done`
// only says so.
std::string sHeld;
// A step was journaled whose rename has not ended (no `done` after it yet).
bool sUnfinished = false;
// A step (placeholder, temporary name, link) was journaled since the last rename or `done`.
bool sStepped = false;
// When the oldest byte not yet in a sync begun was appended.
std::chrono::steady_clock::time_point sUnsyncedSince;

bool unsynced()
{
    return sEnd > sSyncing || !sHeld.empty();
}

// The thread that syncs the journal at most kSyncEvery after an append; made with the journal.
struct Syncer {
    pthread_t thread;
    std::condition_variable wake;
    bool stop = false;
};
Syncer* sSyncer = nullptr;

// Removes the journals beyond the newest kKept whose writer is gone.
void prune(int folderFd)
{
    std::vector<std::string> names = journal_names(folderFd);
    const std::string own(path_leaf(sPath));
    names.erase(std::remove(names.begin(), names.end(), own), names.end());
    if (names.size() < static_cast<size_t>(kKept))
        return;
    for (size_t i = 0; i + kKept - 1 < names.size(); ++i) {
        int fd = open_journal(folderFd, names[i]);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(folderFd, names[i].c_str(), 0);
        ::close(fd);
    }
}

void fail(int error)
{
    sFailed = true;
    sFailure = status_for_errno(error);
    trace("journal: not written (%s)\n", std::strerror(error));
}

// Once a write failed: a `not_journaled` mark ends what the reader takes.
void end_failed(int error)
{
    fail(error);
    journal_record missing;
    missing.step = journal_step::not_journaled;
    std::string mark = encode(missing);
    (void)!::write(sFd, mark.data(), mark.size());
    ::fdatasync(sFd);
}

// Writes what sHeld holds in one write(2); false once the journal has failed.
bool write_held()
{
    if (sHeld.empty())
        return true;
    ssize_t written = ::write(sFd, sHeld.data(), sHeld.size());
    if (written == static_cast<ssize_t>(sHeld.size())) {
        sEnd += written;
        sHeld.clear();
        return true;
    }
    int error = written < 0 ? errno : ENOSPC;
    sHeld.clear();
    // A part of a record would end what the reader takes: it goes, so that the mark can still
    // be read.
    if (written > 0)
        (void)::ftruncate(sFd, sEnd);
    end_failed(error);
    return false;
}

// Writes what is held and makes every byte appended durable; the lock is let go during the
// fdatasync.
void sync_locked(std::unique_lock<std::mutex>& lock)
{
    if (sFd < 0 || sFailed)
        return;
    if (!write_held())
        return;
    if (sEnd <= sSynced)
        return;
    const off_t target = sEnd;
    const int fd = sFd;
    sSyncing = std::max(sSyncing, target);
    lock.unlock();
    ::fdatasync(fd);
    lock.lock();
    sSynced = std::max(sSynced, target);
}

void* sync_loop(void* argument)
{
    Syncer* syncer = static_cast<Syncer*>(argument);
    std::unique_lock<std::mutex> lock(sLock);
    for (;;) {
        syncer->wake.wait(lock, [&] { return syncer->stop || unsynced(); });
        if (!syncer->stop)
            syncer->wake.wait_until(
                lock, sUnsyncedSince + kSyncEvery, [&] { return syncer->stop; });
        if (syncer->stop)
            return nullptr; // the exit syncs itself
        sync_locked(lock);
    }
}

// A forked child keeps no part of its parent's journal (nor its lock, nor its syncer): it gets
// one of its own on its first record.
void prepare_fork()
{
    sLock.lock();
}

void after_fork_parent()
{
    sLock.unlock();
}

// At a clean exit with every rename ended, the journal is made read-only: nothing in it is left
// to recover, so a later start's recovery passes it over without reading it (undo still reads
// it). A killed run never gets here, and its journal stays writable, to be read whole.
void close_journal()
{
    std::unique_lock<std::mutex> lock(sLock);
    if (Syncer* syncer = sSyncer) {
        syncer->stop = true;
        syncer->wake.notify_one();
        lock.unlock();
        ::pthread_join(syncer->thread, nullptr);
        lock.lock();
        sSyncer = nullptr;
        delete syncer;
    }
    sync_locked(lock);
    if (sFd < 0 || sFailed || sUnfinished)
        return;
    (void)::fchmod(sFd, 0400);
}

void after_fork_child()
{
    if (sFd >= 0)
        ::close(sFd);
    sFd = -1;
    sFailed = false;
    sHeld.clear();
    sUnfinished = false;
    sStepped = false;
    sPath.clear();
    // The parent's syncer is not in this process; its state is left as the fork found it.
    sSyncer = nullptr;
    sLock.unlock();
}

// Opens this process's journal; 0 or the errno of the failure.
int create_journal()
{
    static const bool forks
        = ::pthread_atfork(prepare_fork, after_fork_parent, after_fork_child) == 0;
    static const bool closes = std::atexit(close_journal) == 0;
    (void)forks;
    (void)closes;
    errno = 0;
    std::string folder = state_folder(true);
    if (folder.empty())
        return errno != 0 ? errno : ENOENT;
    int folderFd = open_state_folder(folder);
    if (folderFd < 0)
        return errno;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    char name[64];
    std::snprintf(name, sizeof name, "%s%020lld-%d", kPrefix,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
        static_cast<int>(::getpid()));
    int fd = ::openat(
        folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0
        || ::write(fd, kMagic, sizeof kMagic) != static_cast<ssize_t>(sizeof kMagic)) {
        int error = errno != 0 ? errno : EIO;
        if (fd >= 0) {
            ::unlinkat(folderFd, name, 0);
            ::close(fd);
        }
        ::close(folderFd);
        return error;
    }
    sFd = fd;
    sEnd = sizeof kMagic;
    sSyncing = sSynced = 0;
    sUnsyncedSince = std::chrono::steady_clock::now();
    sPath = folder + "/" + name;
    prune(folderFd);
    ::close(folderFd);
    // Without a thread of its own, the journal is synced by the appends themselves. The thread
    // takes no signals: they stay with the threads that expect them.
    Syncer* syncer = new Syncer;
    sigset_t all, old;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &old);
    if (::pthread_create(&syncer->thread, nullptr, sync_loop, syncer) == 0)
        sSyncer = syncer;
    else
        delete syncer;
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    return 0;
}

} // namespace

namespace
{

status_t append(const record_view& record)
{
    std::unique_lock<std::mutex> lock(sLock);
    if (sFailed)
        return sFailure;
    if (sFd < 0) {
        if (int error = create_journal(); error != 0) {
            fail(error);
            return sFailure;
        }
    }
    const bool wasUnsynced = unsynced();
    if (!encode_into(sHeld, record)) {
        if (write_held())
            end_failed(ENAMETOOLONG);
        return sFailure;
    }
    if (!wasUnsynced)
        sUnsyncedSince = std::chrono::steady_clock::now();
    if ((record.step != journal_step::done || sStepped) && !write_held())
        return sFailure;
    if (record.step == journal_step::done || record.step == journal_step::rename)
        sStepped = false;
    else if (record.step <= journal_step::link)
        sStepped = true;
    if (record.step == journal_step::done)
        sUnfinished = false;
    else if (record.step <= journal_step::link)
        sUnfinished = true;
    if (sSyncer == nullptr) {
        if (std::chrono::steady_clock::now() - sUnsyncedSince >= kSyncEvery)
            sync_locked(lock);
    } else if (!wasUnsynced) {
        sSyncer->wake.notify_one();
    }
    return B_OK;
}

} // namespace

status_t journal_append(const journal_record& record)
{
    return append(view_of(record));
}

void journal_sync()
{
    std::unique_lock<std::mutex> lock(sLock);
    sync_locked(lock);
}

std::string journal_own_path()
{
    std::lock_guard<std::mutex> lock(sLock);
    return sPath;
}

namespace
{

// Reads the journal open as fd, at most kMaxJournal bytes of it; *end becomes the offset after
// the last record read whole.
void read_journal(int fd, journal_file* journal, size_t* end = nullptr)
{
    if (end != nullptr)
        *end = 0;
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        journal->intact = false;
        return;
    }
    size_t size = static_cast<size_t>(std::min<off_t>(st.st_size, kMaxJournal));
    if (st.st_size > static_cast<off_t>(kMaxJournal))
        journal->intact = false;
    std::string bytes(size, '\0');
    size_t got = 0;
    while (got < size) {
        ssize_t n = ::read(fd, bytes.data() + got, size - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    bytes.resize(got);
    if (got < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        journal->intact = got == 0;
        return;
    }
    const unsigned char* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t at = sizeof kMagic;
    while (at < got) {
        if (end != nullptr)
            *end = at;
        size_t left = got - at;
        if (left < 8) {
            journal->intact = false;
            return;
        }
        uint64_t length;
        Reader head { data + at, 4 };
        head.take(&length, 4);
        if (length > kMaxRecord || length > left - 8) {
            journal->intact = false;
            return;
        }
        uint64_t sum;
        Reader tail { data + at + 4 + length, 4 };
        tail.take(&sum, 4);
        journal_record record;
        if (fnv1a(data + at, 4 + length) != sum || !decode(data + at + 4, length, &record)) {
            journal->intact = false;
            return;
        }
        if (record.step == journal_step::not_journaled)
            journal->journaled = false;
        journal->records.push_back(std::move(record));
        at += 8 + length;
    }
    if (end != nullptr)
        *end = at;
}

} // namespace

std::vector<journal_file> journal_list()
{
    std::vector<journal_file> journals;
    std::string folder = state_folder(false);
    if (folder.empty())
        return journals;
    int folderFd = open_state_folder(folder);
    if (folderFd < 0)
        return journals;
    std::string own = journal_own_path();
    std::vector<std::string> names = journal_names(folderFd);
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        std::string path = folder + "/" + *name;
        if (path == own)
            continue;
        int fd = open_journal(folderFd, *name);
        if (fd < 0)
            continue;
        journal_file journal;
        journal.path = path;
        journal.writer_alive = ::flock(fd, LOCK_SH | LOCK_NB) != 0;
        read_journal(fd, &journal);
        ::close(fd);
        journals.push_back(std::move(journal));
    }
    ::close(folderFd);
    return journals;
}

namespace
{

thread_local const journal_folder_scope* sFolder = nullptr;

} // namespace

journal_folder_scope::journal_folder_scope(dev_t device, ino_t node, const std::string& path)
    : outer(sFolder)
    , device(device)
    , node(node)
    , path(path)
{
    sFolder = this;
}

journal_folder_scope::~journal_folder_scope()
{
    sFolder = outer;
}

node_ref journal_identity(const struct stat& st)
{
    node_ref ref;
    ref.device = st.st_dev;
    ref.node = st.st_ino;
    ref.has_times = true;
    ref.size = st.st_size;
    ref.modified = st.st_mtim;
    ref.changed = st.st_ctim;
    return ref;
}

void journal_note(journal_step step, const char* from, const char* to, const struct stat& file)
{
    if (sFolder == nullptr)
        return;
    const node_ref identity = journal_identity(file);
    // A journal that cannot be written never stops a rename; its failure is traced there.
    (void)append({ step, sFolder->device, sFolder->node, sFolder->path, from, to, identity });
}

// #pragma mark - recovery

namespace
{

// A descriptor closed when it goes out of scope.
struct Descriptor {
    explicit Descriptor(int fd)
        : fd(fd)
    {
    }
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool is_plain_leaf(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// One rename of a journal and the steps it took.
struct Rename {
    const journal_record* rename = nullptr;
    std::vector<const journal_record*> steps;
    bool done = false;
};

// The renames a journal shows begun and not ended, in order.
std::vector<Rename> unfinished(const std::vector<journal_record>& records)
{
    std::vector<Rename> renames;
    for (const journal_record& record : records) {
        switch (record.step) {
        case journal_step::rename:
            renames.push_back(Rename { &record, {}, false });
            break;
        case journal_step::done:
            // The latest rename still open with these names; without names, every one.
            for (auto it = renames.rbegin(); it != renames.rend(); ++it) {
                if (it->done)
                    continue;
                if ((record.from.empty() && record.to.empty()) || it->rename == nullptr) {
                    // Every rename; or the steps of a move that journaled no rename.
                    it->done = true;
                    if (it->rename == nullptr && !record.from.empty())
                        break;
                } else if (it->rename != nullptr && it->rename->from == record.from
                    && it->rename->to == record.to
                    && it->rename->folder_node == record.folder_node) {
                    it->done = true;
                    break;
                }
            }
            break;
        case journal_step::not_journaled:
            break;
        default:
            if (renames.empty() || renames.back().done)
                renames.push_back(Rename {});
            renames.back().steps.push_back(&record);
            break;
        }
    }
    renames.erase(std::remove_if(renames.begin(), renames.end(),
                      [](const Rename& rename) { return rename.done || rename.steps.empty(); }),
        renames.end());
    return renames;
}

// A recorded folder, open by its path only where it is still the folder recorded.
struct Folder {
    Descriptor dir { -1 };
    dev_t device = 0;
    ino_t node = 0;
    bool pathInodes = false;
    bool remote = false;
};

bool open_recorded_folder(const journal_record& record, Folder* folder)
{
    if (record.folder_path.empty() || record.folder_path[0] != '/')
        return false;
    folder->dir.fd
        = ::open(record.folder_path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st;
    if (folder->dir.fd < 0 || ::fstat(folder->dir.fd, &st) != 0 || st.st_dev != record.folder_device
        || st.st_ino != record.folder_node)
        return false;
    folder->device = st.st_dev;
    folder->node = st.st_ino;
    FileSystemTraits traits = file_system_traits(folder->dir.fd);
    folder->pathInodes = traits.pathInodes;
    folder->remote = traits.remote;
    return true;
}

// Whether name in the folder is the regular file `file` recorded, and the user's own; its
// state goes to *st. The same device and size, and: the same node and modification time; where
// nodes are numbered by path by a daemon that sees every change (FUSE FAT and exFAT), the same
// node or time (fusefat gives a file renamed onto our placeholder the placeholder's times);
// where files change elsewhere (sshfs), the same time, read through an open handle.
bool is_recorded_file(
    const Folder& folder, const std::string& name, const node_ref& file, struct stat* st)
{
    if (!is_plain_leaf(name))
        return false;
    int got = folder.remote ? stat_through_handle(folder.dir.fd, name.c_str(), st)
                            : ::fstatat(folder.dir.fd, name.c_str(), st, AT_SYMLINK_NOFOLLOW);
    if (got != 0 || !S_ISREG(st->st_mode) || st->st_uid != ::geteuid() || st->st_dev != file.device
        || st->st_size != file.size)
        return false;
    const bool sameNode = st->st_ino == file.node;
    const bool sameTime = st->st_mtim.tv_sec == file.modified.tv_sec
        && st->st_mtim.tv_nsec == file.modified.tv_nsec;
    if (folder.remote)
        return sameTime;
    if (folder.pathInodes)
        return sameNode || sameTime;
    return sameNode && sameTime;
}

// Whether two open files hold the same bytes.
bool same_bytes(int a, int b)
{
    std::vector<char> bufferA(65536), bufferB(65536);
    for (off_t at = 0;;) {
        ssize_t readA = ::pread(a, bufferA.data(), bufferA.size(), at);
        ssize_t readB = ::pread(b, bufferB.data(), bufferB.size(), at);
        if (readA < 0 || readA != readB
            || std::memcmp(bufferA.data(), bufferB.data(), static_cast<size_t>(readA)) != 0)
            return false;
        if (readA == 0)
            return true;
        at += readA;
    }
}

// A killed link and unlink: where both names are still the recorded file, the old one goes.
// Where nodes do not identify files (sshfs), both must also hold the same bytes.
void finish_link(const Folder& folder, const journal_record& step)
{
    struct stat from, to;
    if (!is_recorded_file(folder, step.from, step.file, &from)
        || !is_recorded_file(folder, step.to, step.file, &to))
        return;
    if (folder.pathInodes) {
        struct stat st;
        Descriptor a(open_regular(folder.dir.fd, step.from.c_str(), O_RDONLY, false, &st));
        Descriptor b(open_regular(folder.dir.fd, step.to.c_str(), O_RDONLY, false, &st));
        if (a.fd < 0 || b.fd < 0 || !same_bytes(a.fd, b.fd))
            return;
    } else if (from.st_ino != to.st_ino || from.st_nlink < 2) {
        return;
    }
    if (::unlinkat(folder.dir.fd, step.from.c_str(), 0) == 0)
        trace("removed: %s (the same file as %s)\n", step.from.c_str(), step.to.c_str());
}

// A placeholder the run made: removed where it is still that node, empty, and the user's.
void remove_placeholder(const Folder& folder, const journal_record& step)
{
    struct stat st;
    if (step.file.size != 0 || !is_recorded_file(folder, step.to, step.file, &st)
        || st.st_nlink > 1)
        return;
    if (::unlinkat(folder.dir.fd, step.to.c_str(), 0) == 0)
        trace("removed placeholder: %s\n", step.to.c_str());
}

// A placeholder the run was making when it was killed: its create may have been done by the
// file system after the kill (FUSE finishes a request whose caller is gone), so its node was
// never journaled. Removed only where the step announcing it is the journal's very last record,
// and the name holds an empty file of the user's, with one name, last changed around the time
// that record was written: no earlier (less the 2 s of FAT's clock), and not long after (a file
// made there later, say once the stick the run was killed on is back, is not the placeholder).
void remove_unmade_placeholder(
    const Folder& folder, const journal_record& step, const timespec& lastWrite)
{
    struct stat st;
    if (!is_plain_leaf(step.to)
        || ::fstatat(folder.dir.fd, step.to.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0
        || !S_ISREG(st.st_mode) || st.st_size != 0 || st.st_nlink != 1 || st.st_uid != ::geteuid()
        || st.st_ctim.tv_sec < lastWrite.tv_sec - 2 || st.st_ctim.tv_sec > lastWrite.tv_sec + 10)
        return;
    if (::unlinkat(folder.dir.fd, step.to.c_str(), 0) == 0)
        trace("removed placeholder: %s\n", step.to.c_str());
}

// A song left under a temporary name goes on to the name it was going to, else back to the
// name it came from, never replacing anything; where both are taken it stays.
void finish_temporary(const Folder& folder, const std::string& path, const journal_record& step,
    const std::string& target)
{
    struct stat ours;
    if (!is_recorded_file(folder, step.to, step.file, &ours))
        return;
    journal_folder_scope journaled(folder.device, folder.node, path);
    for (const std::string& name : { target, step.from }) {
        if (!is_plain_leaf(name))
            continue;
        // Its steps are journaled, but not as a rename: undo puts back what the user did, and
        // this only finishes what a killed run left half done.
        status_t status = move_no_replace(folder.dir.fd, step.to.c_str(), name.c_str(), ours);
        journal_note(journal_step::done, step.to.c_str(), name.c_str(), ours);
        if (status == B_OK) {
            trace("recovered: %s -> %s\n", step.to.c_str(), name.c_str());
            return;
        }
        if (status != B_FILE_EXISTS)
            break;
    }
    trace("left alone: %s (%s is taken)\n", step.to.c_str(), target.c_str());
}

// Finishes or removes what one rename left, from its records alone; `last` is the journal's
// last record, written at lastWrite.
void recover_rename(const Rename& rename, const journal_record* last, const timespec& lastWrite)
{
    const journal_record& first = rename.rename != nullptr ? *rename.rename : *rename.steps[0];
    Folder folder;
    if (!open_recorded_folder(first, &folder))
        return;
    for (const journal_record* step : rename.steps) {
        if (step->folder_device != first.folder_device || step->folder_node != first.folder_node)
            continue;
        if (step->step == journal_step::placeholder_made)
            remove_placeholder(folder, *step);
        else if (step->step == journal_step::placeholder && step == last)
            remove_unmade_placeholder(folder, *step, lastWrite);
    }
    for (const journal_record* step : rename.steps) {
        if (step->step == journal_step::link && step->folder_node == first.folder_node
            && step->folder_device == first.folder_device)
            finish_link(folder, *step);
    }
    for (const journal_record* step : rename.steps) {
        if (step->step == journal_step::temporary && rename.rename != nullptr
            && step->folder_node == first.folder_node && step->folder_device == first.folder_device)
            finish_temporary(folder, first.folder_path, *step, rename.rename->to);
    }
}

} // namespace

void journal_recover()
{
    std::string folder = state_folder(false);
    if (folder.empty())
        return;
    Descriptor folderFd(open_state_folder(folder));
    if (folderFd.fd < 0)
        return;
    const std::string own = journal_own_path();
    for (const std::string& name : journal_names(folderFd.fd)) {
        if (folder + "/" + name == own)
            continue;
        Descriptor fd(open_journal(folderFd.fd, name));
        // A journal whose lock is held belongs to a run still going, or to another start
        // recovering it now.
        if (fd.fd < 0 || ::flock(fd.fd, LOCK_EX | LOCK_NB) != 0)
            continue;
        // Read-only: its writer ended cleanly, or it was recovered; nothing is left to do.
        struct stat mode;
        if (::fstat(fd.fd, &mode) != 0 || (mode.st_mode & S_IWUSR) == 0)
            continue;
        journal_file journal;
        size_t end = 0;
        read_journal(fd.fd, &journal, &end);
        std::vector<Rename> renames = unfinished(journal.records);
        if (renames.empty()) {
            (void)::fchmod(fd.fd, 0400);
            continue;
        }
        struct stat written;
        if (::fstat(fd.fd, &written) != 0)
            continue;
        for (const Rename& rename : renames)
            recover_rename(rename, &journal.records.back(), written.st_mtim);
        // Recovered: a closing mark, after the last whole record, so that it is not done again.
        // The records stay for undo.
        Descriptor writer(
            ::openat(folderFd.fd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat a, b;
        if (writer.fd < 0 || ::fstat(writer.fd, &a) != 0 || ::fstat(fd.fd, &b) != 0
            || a.st_dev != b.st_dev || a.st_ino != b.st_ino || end < sizeof kMagic)
            continue;
        journal_record closing;
        closing.step = journal_step::done;
        std::string mark = encode(closing);
        if (::ftruncate(writer.fd, static_cast<off_t>(end)) == 0
            && ::pwrite(writer.fd, mark.data(), mark.size(), static_cast<off_t>(end))
                == static_cast<ssize_t>(mark.size())) {
            ::fdatasync(writer.fd);
            (void)::fchmod(writer.fd, 0400);
        }
    }
}
