// platform/app/Catalog.cpp: the program's catalogue and the toolkit's, through Qt Linguist's.
#include "platform/app/Catalog.h"

#include "platform/support/ProgramName.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <map>
#include <string>
#include <utility>

const char* translated(const char* context, const char* text)
{
    if (text == nullptr || QCoreApplication::instance() == nullptr)
        return text;
    const QString result = QCoreApplication::translate(context, text);
    if (result == QString::fromUtf8(text))
        return text;
    // One entry per text of the program's own: the sources hold a fixed number of them.
    static std::map<std::pair<std::string, std::string>, std::string> cache;
    std::string& entry = cache[{ context != nullptr ? context : "", text }];
    entry = result.toStdString();
    return entry.c_str();
}

void load_catalogues()
{
    const QLocale locale;
    // Qt's own texts: the field's context menu, the standard buttons.
    auto* toolkit = new QTranslator(QCoreApplication::instance());
    if (toolkit->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(toolkit);
    // The program's, beside its binary both in the build tree and installed (bin/../share).
    auto* own = new QTranslator(QCoreApplication::instance());
    const QString leaf = QString::fromStdString(program_leaf());
    if (own->load(locale, leaf, QStringLiteral("_"),
            QCoreApplication::applicationDirPath() + QStringLiteral("/../share/") + leaf
                + QStringLiteral("/translations")))
        QCoreApplication::installTranslator(own);
    // The direction follows the language the user reads first, catalogue or not.
    const QStringList languages = locale.uiLanguages();
    const QLocale first = languages.isEmpty() ? locale : QLocale(languages.first());
    QGuiApplication::setLayoutDirection(first.textDirection());
}
