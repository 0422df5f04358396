#include "cli/CCtl.h"
#include "cli/CtlText.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <iostream>
#include <iterator>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    CtlText::InstallTranslations(vtstr::CurrentLanguage());

    CtlEnv env;
    env.strExePath = QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString();
    env.fnOut = [](const std::string& str) {
        std::fwrite(str.data(), 1, str.size(), stdout);
        std::fflush(stdout);
    };
    env.fnErr = [](const std::string& str) {
        std::fwrite(str.data(), 1, str.size(), stderr);
        std::fflush(stderr);
    };
    env.fnReadStdin = [] {
        return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    };

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return CCtl(std::move(env)).Run(args);
}
