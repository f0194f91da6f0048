#pragma once

// The command line as the framework hands it to an application: ParseCommandLine calls
// ParseParam once per parameter, with a leading '/' or '-' removed and reported as the flag.
// CDiscoveryCommandLineInfo reads the wizard's one option, LANGUAGE=code. UI thread.

#include <QStringList>
#include <vector>

#include "sdk/LBString.h"

class CCommandLineInfo {
  public:
    virtual ~CCommandLineInfo() = default;

    // `param` without its '/' or '-' when `flag`; `last` for the last parameter. The standard
    // handling records a parameter: the first plain one as the file name, flags in order.
    // Nothing in the wizard acts on them.
    virtual void ParseParam(const LBString& param, bool flag, bool last);

    LBString m_strFileName;
    std::vector<LBString> m_flags;
};

class CDiscoveryCommandLineInfo : public CCommandLineInfo {
  public:
    // LANGUAGE=code in any letter case (the option's first occurrence at the start of the
    // parameter): the upper-cased text after the first "=", trimmed, replaces m_strLanguage.
    // Without "=" the whole upper-cased parameter is taken. Anything else goes to the
    // standard handling as received.
    void ParseParam(const LBString& param, bool flag, bool last) override;

    LBString m_strLanguage;
};

// Hands every argument after the program name to `info`.
void ParseCommandLine(CCommandLineInfo& info, const QStringList& argumentsWithProgram);
