#include "app/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <array>

#include "app/qt_text.h"

namespace {

struct LocaleOfCode {
    const char* code;
    const char* locale;
};

constexpr std::array<LocaleOfCode, 13> kLocales{{
    {"CHS", "zh_CN"},
    {"CHT", "zh_TW"},
    {"DEU", "de"},
    {"ENU", "en"},
    {"ESP", "es"},
    {"FRA", "fr"},
    {"ITA", "it"},
    {"JPN", "ja"},
    {"KOR", "ko"},
    {"NLD", "nl"},
    {"PTB", "pt_BR"},
    {"RUS", "ru"},
    {"SVE", "sv"},
}};

}  // namespace

QString QtLocaleName(const LBString& languageCode) {
    const QString code = ToQString(languageCode).trimmed().toUpper();
    for (const LocaleOfCode& entry : kLocales) {
        if (code == QLatin1String(entry.code)) {
            return QString::fromLatin1(entry.locale);
        }
    }
    return {};
}

QtTranslations::QtTranslations() = default;

QtTranslations::~QtTranslations() {
    Remove();
}

void QtTranslations::Remove() {
    if (m_translator && QCoreApplication::instance() != nullptr) {
        QCoreApplication::removeTranslator(m_translator.get());
    }
    m_translator.reset();
}

bool QtTranslations::Install(const LBString& languageCode) {
    Remove();
    const QString locale = QtLocaleName(languageCode);
    if (QCoreApplication::instance() == nullptr || locale.isEmpty() ||
        locale == QLatin1String("en")) {
        return false;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + locale,
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    QCoreApplication::installTranslator(translator.get());
    m_translator = std::move(translator);
    return true;
}
