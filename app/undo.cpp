// app/undo.cpp: the undo role, "orvalin --undo": puts back the names of the last renaming and
// says in one waiting alert what it did.
#include "app/Orvalin.h"

#include "platform/app/Application.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Journal.h"
#include "platform/storage/Undo.h"
#include "platform/support/Trace.h"

#include <string>

namespace
{

// 4998 -> "4,998".
std::string with_commas(int64 number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (size_t at = 0; at < digits.size(); at++) {
        const size_t after = digits.size() - at;
        if (at > 0 && after % 3 == 0 && digits[at - 1] != '-')
            text += ',';
        text += digits[at];
    }
    return text;
}

// A file name as one line of the alert: control characters (a newline among them) would break
// the list, so they show as "?".
std::string shown(const std::string& name)
{
    std::string line = name;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return line;
}

} // namespace

std::string undo_message(const undo_report& report)
{
    std::string text;
    if (!report.found || (report.put_back == 0 && report.left == 0)) {
        text = "There is nothing to put back.";
    } else {
        if (report.put_back == 0)
            text = "No names were put back.";
        else if (report.put_back == 1)
            text = "Put back the name of 1 file.";
        else
            text.append("Put back the names of ")
                .append(with_commas(report.put_back))
                .append(" files.");
        if (report.left == 1)
            text.append(" 1 file was left as it is:");
        else if (report.left > 1)
            text.append(" ")
                .append(with_commas(report.left))
                .append(" files were left as they are:");
        for (const std::string& name : report.left_names)
            text.append("\n").append(shown(name));
        const int64 unlisted = report.left - static_cast<int64>(report.left_names.size());
        if (unlisted > 0)
            text.append("\nand ").append(with_commas(unlisted)).append(" more.");
    }
    if (report.found && !report.journaled)
        text += "\n\nThat renaming could not be fully recorded, so files renamed after the record "
                "broke off keep their new names.";
    if (report.found && !report.intact)
        text += "\n\nPart of the record of that renaming is damaged, so some files may keep their "
                "new names.";
    if (report.open_skipped)
        text += "\n\nFiles renamed in a window that is still open were left as they are: close it "
                "first to put those back.";
    return text;
}

int undo_last_renaming()
{
    // The toolkit only for the alert; started first all the same, so that where it cannot start
    // nothing is renamed without the user being told.
    ensure_gui();
    trace("undo()\n");
    // What killed runs left behind is finished or removed first, so that a file is under one of
    // its names when it is put back.
    journal_recover();
    const std::string text = undo_message(undo_last_run());
    trace("%s\n", text.c_str());
    (new BAlert(nullptr, text.c_str(), "Ok"))->Go();
    trace_flush();
    return 0;
}
