// platform/storage/rename/TestSeams.cpp: the storage kit's test seams and their state.
#include "platform/storage/rename/TestSeams.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace
{

std::atomic<RenameWay> sForcedWay { RenameWay::NoReplace };
std::mutex sHooksLock;
std::deque<int> sInjectedErrors;
std::deque<int> sInjectedCallErrors[2];
std::function<void()> sBetweenLinkAndUnlink;
std::atomic<int> sRenameDelay { 0 };

} // namespace

void entry_force_rename_way(RenameWay way)
{
    sForcedWay.store(way);
}

void entry_force_link_rename(bool force)
{
    entry_force_rename_way(force ? RenameWay::LinkUnlink : RenameWay::NoReplace);
}

void entry_fail_moves(std::vector<int> errors)
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    sInjectedErrors.assign(errors.begin(), errors.end());
}

void entry_fail_calls(SeamCall call, std::vector<int> errors)
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    sInjectedCallErrors[static_cast<int>(call)].assign(errors.begin(), errors.end());
}

void entry_between_link_and_unlink(std::function<void()> action)
{
    sBetweenLinkAndUnlink = std::move(action);
}

void entry_delay_renames(int microseconds)
{
    sRenameDelay.store(microseconds);
}

RenameWay seams::forced_way()
{
    return sForcedWay.load();
}

int seams::injected_failure()
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    if (sInjectedErrors.empty())
        return 0;
    int error = sInjectedErrors.front();
    sInjectedErrors.pop_front();
    return error;
}

int seams::injected_call_failure(SeamCall call)
{
    std::lock_guard<std::mutex> lock(sHooksLock);
    std::deque<int>& errors = sInjectedCallErrors[static_cast<int>(call)];
    if (errors.empty())
        return 0;
    int error = errors.front();
    errors.pop_front();
    return error;
}

void seams::between_link_and_unlink()
{
    if (sBetweenLinkAndUnlink)
        sBetweenLinkAndUnlink();
}

int seams::rename_delay()
{
    return sRenameDelay.load();
}
