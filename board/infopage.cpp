#include "infopage.h"

Infopage::Infopage() = default;

Infopage::~Infopage() = default;

void Infopage::reset()
{
    m_content.clear();
}

QByteArray Infopage::content() const
{
    return m_content;
}

void Infopage::setContent(const QByteArray& content)
{
    m_content = content;
}
