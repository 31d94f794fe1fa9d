#pragma once

#include "km4200ctrl_export.h"

#include <QByteArray>

// The module's information page: the settings block that default-settings
// programming writes.
class KM4200CTRL_EXPORT Infopage
{
public:
    Infopage();
    virtual ~Infopage();

    virtual void reset();
    QByteArray content() const;
    void setContent(const QByteArray& content);

private:
    QByteArray m_content;
};
