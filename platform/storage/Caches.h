// platform/storage/Caches.h: the caches the storage classes keep from one call to the next, all
// of them here. Each says what it remembers, what makes it stale and how that is noticed; each
// is locked, since the intake and the window may use them from different threads.
// Storage-internal.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unordered_map>

struct directory_handle;

// The folder of the previous absolute path given to get_ref_for_path: the paths of one
// selection mostly share it, so the next path given the same way costs one stat instead of a
// resolution of every component. Stale when the folder's path names another folder (moved,
// replaced, a mount over it): the stat's device and inode are compared with the ones kept, and
// a mismatch resolves the path again. Its handle is not kept alive from here: once no
// reference holds the folder it is closed (and can be unmounted), and a held folder that has
// been closed is not taken.
class LastFolderCache
{
public:
    struct Folder {
        std::string given, resolved;
        dev_t device = -1;
        ino_t node = 0;
        bool held = false; // a handle was made for it
        std::weak_ptr<const directory_handle> handle;
    };

    // The folder kept for the directory part `given`, and its handle (null where none was
    // held); false when another is kept or the kept one has been closed.
    bool Find(
        const std::string& given, Folder* folder, std::shared_ptr<const directory_handle>* handle)
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fFolder.given != given)
            return false;
        *handle = fFolder.handle.lock();
        if (*handle == nullptr && fFolder.held)
            return false;
        *folder = fFolder;
        return true;
    }
    void Keep(Folder folder)
    {
        std::lock_guard<std::mutex> lock(fLock);
        fFolder = std::move(folder);
    }

private:
    std::mutex fLock;
    Folder fFolder;
};

inline LastFolderCache& last_folder_cache()
{
    static LastFolderCache cache;
    return cache;
}

// The content type found for a regular file that stores none: what the MIME database matched
// on its name and first bytes. Keyed by everything the type depends on: the node, its size,
// modified and changed times, and its leaf name; a write or a rename changes the key, so a stale
// entry is never found, only left behind. Cleared whole when it grows past kMaxTypes.
class ContentTypeCache
{
public:
    struct Key {
        dev_t device;
        ino_t node;
        off_t size;
        int64_t modified, changed; // nanoseconds
        std::string leaf;

        static Key Of(const struct stat& st, std::string leaf)
        {
            auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
            return Key { st.st_dev, st.st_ino, st.st_size, ns(st.st_mtim), ns(st.st_ctim),
                std::move(leaf) };
        }
        bool operator==(const Key&) const = default;
    };

    // The type kept for key (itself possibly "none"), or false where none is kept.
    bool Find(const Key& key, std::optional<std::string>* type)
    {
        std::lock_guard<std::mutex> lock(fLock);
        auto known = fTypes.find(key);
        if (known == fTypes.end())
            return false;
        *type = known->second;
        return true;
    }
    void Keep(Key key, std::optional<std::string> type)
    {
        std::lock_guard<std::mutex> lock(fLock);
        if (fTypes.size() >= kMaxTypes)
            fTypes.clear();
        fTypes.insert_or_assign(std::move(key), std::move(type));
    }

private:
    struct Hash {
        size_t operator()(const Key& key) const
        {
            size_t hash = std::hash<std::string>()(key.leaf);
            for (uint64_t part : { uint64_t(key.device), uint64_t(key.node), uint64_t(key.size),
                     uint64_t(key.modified), uint64_t(key.changed) })
                hash = (hash ^ part) * 0x100000001b3ull;
            return hash;
        }
    };
    static constexpr size_t kMaxTypes = 200000;
    std::mutex fLock;
    std::unordered_map<Key, std::optional<std::string>, Hash> fTypes;
};

inline ContentTypeCache& content_type_cache()
{
    static ContentTypeCache cache;
    return cache;
}
