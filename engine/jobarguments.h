#pragma once

#include "kestrixengine_export.h"

#include <QList>
#include <QString>
#include <QStringList>

// What the command-line jobs share in reading their arguments. Option names
// match in any letter case; the first argument is the program path.
class KESTRIXENGINE_EXPORT JobArguments
{
public:
    static bool is(const QString& argument, const QString& option);
    // The option anywhere after the program path ("-json" is known before
    // anything else, so even an error about an earlier argument is JSON).
    static bool contains(const QStringList& arguments, const QString& option);
    // A -board value: "all", or board IDs such as 1,3,5 (each kept once, in
    // the given order). Empty on success, else why the value is no such list.
    static QString parseBoards(const QString& value, bool* all, QList<int>* ids);
};
