// app/undo.cpp: the undo role, "orvalin --undo": puts back the names of the last renaming and
// says in one waiting alert what it did.
#include "app/Orvalin.h"

#include "platform/app/Application.h"
#include "platform/app/Catalog.h"
#include "platform/interface/Alert.h"
#include "platform/storage/Undo.h"
#include "platform/storage/rename/Journal.h"
#include "platform/support/Trace.h"

#include <string>

namespace
{

// The texts as written, for the trace.
const char* as_written(const char*, const char* text)
{
    return text;
}

// 4998 -> "4,998", with the given thousands separator.
std::string grouped(int64 number, const std::string& separator)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (size_t at = 0; at < digits.size(); at++) {
        const size_t after = digits.size() - at;
        if (at > 0 && after % 3 == 0 && digits[at - 1] != '-')
            text += separator;
        text += digits[at];
    }
    return text;
}

// text with its "%1" replaced by value.
std::string filled(const char* text, const std::string& value)
{
    std::string result = text;
    if (size_t at = result.find("%1"); at != std::string::npos)
        result.replace(at, 2, value);
    return result;
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

std::string undo_message(const undo_report& report, translator translate)
{
    if (translate == nullptr)
        translate = as_written;
    //: The thousands separator in counts of files, as in "4,998 files".
    const std::string separator = translate("Undo", ",");
    const auto count = [&](int64 number) { return grouped(number, separator); };
    std::string text;
    if (!report.found || (report.put_back == 0 && report.left == 0)) {
        text = translate("Undo", "There is nothing to put back.");
    } else {
        if (report.put_back == 0)
            text = translate("Undo", "No names were put back.");
        else if (report.put_back == 1)
            text = translate("Undo", "Put back the name of 1 file.");
        else
            text = filled(
                translate("Undo", "Put back the names of %1 files."), count(report.put_back));
        if (report.left == 1)
            text.append(" ").append(translate("Undo", "1 file was left as it is:"));
        else if (report.left > 1)
            text.append(" ").append(
                filled(translate("Undo", "%1 files were left as they are:"), count(report.left)));
        for (const std::string& name : report.left_names)
            text.append("\n").append(shown(name));
        const int64 unlisted = report.left - static_cast<int64>(report.left_names.size());
        if (unlisted > 0)
            text.append("\n").append(filled(translate("Undo", "and %1 more."), count(unlisted)));
    }
    if (report.found && !report.journaled)
        text.append("\n\n").append(translate("Undo",
            "That renaming could not be fully recorded, so files renamed after the record broke "
            "off keep their new names."));
    if (report.found && !report.intact)
        text.append("\n\n").append(translate("Undo",
            "Part of the record of that renaming is damaged, so some files may keep their new "
            "names."));
    if (report.open_skipped)
        text.append("\n\n").append(translate("Undo",
            "Files renamed in a window that is still open were left as they are: close it first "
            "to put those back."));
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
    // The trace is a log and stays in English; the alert speaks the user's language.
    const undo_report report = undo_last_run();
    trace("%s\n", undo_message(report).c_str());
    (new BAlert(nullptr, undo_message(report, translated).c_str(), translated("Alerts", "Ok")))
        ->Go();
    trace_flush();
    return 0;
}
