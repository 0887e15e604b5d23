// tests/support/RenameWays.h: the four ways a rename may go, as test parameters with readable
// names, for the suites that run over all of them.
#pragma once

#include "platform/storage/rename/TestSeams.h"

#include <gtest/gtest.h>
#include <string>

inline const auto kAllRenameWays = testing::Values(
    RenameWay::NoReplace, RenameWay::LinkUnlink, RenameWay::Plain, RenameWay::PlainRefusing);

inline std::string rename_way_name(const testing::TestParamInfo<RenameWay>& info)
{
    return info.param == RenameWay::NoReplace ? "NoReplace"
        : info.param == RenameWay::LinkUnlink ? "LinkUnlink"
        : info.param == RenameWay::Plain      ? "Plain"
                                              : "PlainRefusing";
}
