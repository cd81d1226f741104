#include "app/app.h"

#include <QFileInfo>

#include "app/main_dlg.h"
#include "app/message_box.h"
#include "engine/exit_codes.h"
#include "platform/profile.h"
#include "platform/version.h"

CTavrelCommandLineInfo::~CTavrelCommandLineInfo() = default;

void CTavrelCommandLineInfo::ParseParam(const std::string& param, bool, bool) {
    // Letters and values compare ignoring case; a file name keeps its case.
    const QString text = QString::fromLocal8Bit(param.c_str());
    const QString upper = text.toUpper();
    if (upper.isEmpty()) return;
    switch (upper.at(0).unicode()) {
        case 'A':
            m_nAutoClose = 1;
            break;
        case 'D':
            if (upper.size() > 2)
                m_strDriveLetter = QString(upper.at(2)).toLocal8Bit().toStdString();
            break;
        case 'F':
            if (text.size() > 2) m_strImageFile = text.mid(2).toLocal8Bit().toStdString();
            break;
        case 'N':
            m_nSaveSettings = 0;
            break;
        case 'O': {
            const QString value = upper.mid(2);
            if (value == "COMPRESS")
                m_nOperation = 0;
            else if (value == "EXPAND")
                m_nOperation = 1;
            else if (value == "VERIFY")
                m_nOperation = 2;
            break;
        }
        case 'U':
            m_nCompression = 0;
            break;
        default:
            break;
    }
}

void ParseCommandLine(CTavrelCommandLineInfo& info, const QStringList& arguments) {
    for (int i = 1; i < arguments.size(); ++i) {
        std::string arg = arguments[i].toLocal8Bit().toStdString();
        bool isFlag = !arg.empty() && (arg[0] == '/' || arg[0] == '-');
        if (isFlag) arg.erase(0, 1);
        info.ParseParam(arg, isFlag, i == arguments.size() - 1);
    }
}

QString ApplicationName(const QString& programPath) {
    return QFileInfo(programPath).completeBaseName();
}

std::string ProfileFileFor(const QString& programPath) {
    std::string folder = platform::ProfilePath();
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash);
    return folder + "/" + ApplicationName(programPath).toLocal8Bit().toStdString() + ".INI";
}

bool CTavrelApp::InitInstance(const QStringList& arguments) {
    const QString program = arguments.isEmpty() ? QString("tavrel") : arguments.first();
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS &&
        version.dwPlatformId != VER_PLATFORM_WIN32_NT) {
        app::ShowMessageBox(nullptr, "  Tavrel supports only Windows 95 and Windows NT. ",
                            ApplicationName(program).toStdString(), MB_OK | MB_ICONERROR);
        m_nExitCode = kExitFailed;
        return false;
    }

    // A renamed copy of the program keeps settings and drive map of its own.
    platform::ScopedProfilePath profile(ProfileFileFor(program));
    CTavrelCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo, arguments);
    {
        CMainDlg dlg;
        dlg.m_pCmdInfo = &cmdInfo;
        dlg.DoModal();
        // The last job's own record of how it ended; no job at all reads as done.
        m_nExitCode =
            dlg.m_lastJobResult == JobNotRun ? kExitDone : ExitCodeFor(dlg.m_lastJobResult);
    }
    return false;
}
