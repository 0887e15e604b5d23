// tests/support/Scratch.h: a temporary folder under the build tree, or where every user can
// reach it, removed when done.
#pragma once

#include "platform/storage/Entry.h"

#include <string>
#include <vector>

// Who reaches the folder's files: the test's own user, or other users too (a child that drops to
// uid 65534). A build tree may lie where others cannot reach (a checkout under /root, mode
// 0700), so the second kind lives under /var/tmp, wherever the build tree is.
enum class ScratchFor { ThisUser, OtherUsers };

class ScratchDir
{
public:
    explicit ScratchDir(ScratchFor users = ScratchFor::ThisUser);
    explicit ScratchDir(const std::string& root); // under root instead of the build tree
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return fPath; }
    std::string PathOf(const std::string& name) const { return fPath + "/" + name; }

    // Writes a file and returns its reference.
    entry_ref MakeFile(const std::string& name, const std::string& bytes = "");
    // A listening-ready Unix socket bound at name; its descriptor (the caller closes it), or -1.
    int MakeSocket(const std::string& name);
    // An MPEG file: silent frames, then tag (an ID3v1 image, or nothing).
    entry_ref MakeMp3(
        const std::string& name, const std::string& tag = "", const std::string& prefix = "");
    entry_ref Ref(const std::string& name) const;

    void SetAttr(const std::string& name, const std::string& attribute, const std::string& value);
    std::string Read(const std::string& name) const;
    bool Exists(const std::string& name) const;
    // Names in the folder, sorted.
    std::vector<std::string> Names() const;
    size_t Count() const { return Names().size(); }

private:
    std::string fPath;
};
