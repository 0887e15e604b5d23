// tests/parts/program_name_test.cpp: the program's names, taken once from its signature, reach
// the rename engine's files on disk. Links only the rename engine.
#include "platform/storage/rename/Journal.h"
#include "platform/storage/rename/RenameMarks.h"
#include "platform/support/ProgramName.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

TEST(ProgramName, TakenOnceFromTheSignatureAndWrittenByTheEngine)
{
    const struct {
        const char* signature;
        status_t status;
    } rows[] = {
        { nullptr, B_BAD_VALUE }, { "x-vnd.Maker-Tool", B_BAD_VALUE },
        { "application/x-vnd.Tool", B_BAD_VALUE }, { "application/x-vnd.Maker-", B_BAD_VALUE },
        { "application/x-vnd.Maker-To/ol", B_BAD_VALUE }, { "application/x-vnd.Maker-Tool", B_OK },
        { "application/x-vnd.Maker-Tool", B_OK }, // the same names again
        { "application/x-vnd.Other-Else", B_NOT_ALLOWED }, // set names never change
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.signature == nullptr ? "null" : row.signature);
        EXPECT_EQ(set_program_signature(row.signature), row.status);
    }
    EXPECT_EQ(program_title(), "Tool");
    EXPECT_EQ(rename_temporary_name("a.mp3", 2), "a.mp3.tool-renaming-2");

    std::string state = ORVALIN_SCRATCH_ROOT "/program_name-XXXXXX";
    ::mkdir(ORVALIN_SCRATCH_ROOT, 0700);
    ASSERT_NE(::mkdtemp(state.data()), nullptr);
    ASSERT_EQ(::setenv("XDG_STATE_HOME", state.c_str(), 1), 0);
    ASSERT_EQ(journal_append(journal_record()), B_OK);
    const std::string journal = journal_own_path();
    EXPECT_EQ(journal.rfind(state + "/tool/journal-", 0), 0u) << journal;
    ::unlink(journal.c_str());
    ::rmdir((state + "/tool").c_str());
    ::rmdir(state.c_str());
}
