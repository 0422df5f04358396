#pragma once

#include "net/CKwvtClient.h"

#include <QCoreApplication>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CDoc;
class CKw;

/// What a run of the command needs from outside: where it lives, where output goes, and
/// (for tests) a shorter quiet time of the worker.
struct CtlEnv {
    std::string strExePath; ///< the command's own path: the program's data file is beside it
    ClientHooks hooks;
    int nBusyRetries = 10;
    int nRetryPauseMs = 1000;
    std::function<void(const std::string&)> fnOut;
    std::function<void(const std::string&)> fnErr;
    std::function<std::string()> fnReadStdin;
};

/// @brief vtctl: the roster from the command line over the program's own data file,
/// settings and worker. Every command either finishes or changes nothing.
class CCtl final {
    Q_DECLARE_TR_FUNCTIONS(vtctl)
public:
    enum Exit {
        ExitOk = 0,
        ExitTargets = 1,  ///< some targets did not answer or refused; or the program holds the roster
        ExitUsage = 2,    ///< bad usage or bad input: nothing was done
        ExitDataFile = 3, ///< the data file cannot be read (or, by import, written)
    };

    explicit CCtl(CtlEnv env);
    int Run(const std::vector<std::string>& args);

    /// The operation word the menu's Reboot / Shutdown and their forcible variants send.
    static std::uint32_t OperationWord(bool bReboot, bool bForce);

private:
    struct Args;
    int Usage(const QString& strText);
    int Help(const std::string& strCommand);
    std::string DataPath(const Args& args) const;
    bool Load(CDoc& doc, const std::string& strPath);
    std::optional<std::vector<CKw*>> Targets(const CDoc& doc, const Args& args);
    int LoadTargets(CDoc& doc, const Args& args, std::vector<CKw*>& targets);
    std::vector<std::uint32_t> AddressesOf(const std::vector<CKw*>& targets,
                                           std::vector<const CKw*>& skipped) const;

    int List(const Args& args);
    int Groups(const Args& args);
    int Status(const Args& args);
    int Wake(const Args& args);
    int Operate(const Args& args);
    int Export(const Args& args);
    int Import(const Args& args);

    void Out(const QString& str) const;
    void Err(const QString& str) const;

    CtlEnv m_env;
};
