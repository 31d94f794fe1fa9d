#pragma once

#include "kestrixengine_export.h"

#include <QString>

// The folder the shell treats as its installation: where the hex folder,
// dfu-programmer and the pages' relative folders lie. It is the executable's
// folder; tests point it at a temporary folder instead.
class KESTRIXENGINE_EXPORT ApplicationDirectory
{
public:
    // The executable's folder with forward slashes, unless overridden.
    static QString path();

    // Test hook: an empty path goes back to the executable's folder.
    static void setPathForTesting(const QString& path);
};
