#include "app/command_line_info.h"

#include "app/qt_text.h"

void CCommandLineInfo::ParseParam(const LBString& param, bool flag, bool) {
    if (flag) {
        m_flags.push_back(param);
    } else if (m_strFileName.IsEmpty()) {
        m_strFileName = param;
    }
}

void CDiscoveryCommandLineInfo::ParseParam(const LBString& param, bool flag, bool last) {
    LBString upper = ToLBString(ToQString(param).toUpper());
    if (upper.Find(u"LANGUAGE") == 0) {
        const int equals = upper.Find(u'=');  // -1 without "=": nothing is deleted
        upper.Delete(0, equals + 1);
        upper.TrimRight();
        upper.TrimLeft();
        m_strLanguage = upper;
        return;
    }
    CCommandLineInfo::ParseParam(param, flag, last);
}

void ParseCommandLine(CCommandLineInfo& info, const QStringList& argumentsWithProgram) {
    for (qsizetype i = 1; i < argumentsWithProgram.size(); ++i) {
        QString param = argumentsWithProgram[i];
        bool flag = false;
        if (param.startsWith(u'-') || param.startsWith(u'/')) {
            flag = true;
            param.remove(0, 1);
        }
        info.ParseParam(ToLBString(param), flag, i == argumentsWithProgram.size() - 1);
    }
}
