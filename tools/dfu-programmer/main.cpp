#include "dfuprogrammer.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    DfuProgrammer tool;
    const int code = tool.run(app.arguments().mid(1), err);
    err.flush();
    return code;
}
