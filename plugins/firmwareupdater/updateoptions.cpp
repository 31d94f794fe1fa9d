#include "updateoptions.h"

#include "jobarguments.h"
#include "widgetfactory.h"

#include <QCoreApplication>

namespace
{

const QString jobOption = QStringLiteral("-updatefirmware");
const QString boardOption = QStringLiteral("-board");
const QString jsonOption = QStringLiteral("-json");

bool is(const QString& argument, const QString& option)
{
    return JobArguments::is(argument, option);
}

QString tr(const char* text)
{
    return QCoreApplication::translate("UpdateOptions", text);
}

} // namespace

bool UpdateOptions::requested(const QStringList& arguments)
{
    return JobArguments::contains(arguments, jobOption);
}

bool UpdateOptions::parse(const QStringList& arguments)
{
    m_selection = OutdatedBoards;
    m_boards.clear();
    m_json = false;
    m_error.clear();
    bool haveJob = false;
    bool haveBoard = false;

    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        if (WidgetFactory::isShellOption(argument))
            continue;
        const QString option = argument.toLower();
        if (is(argument, jobOption) || is(argument, jsonOption)) {
            bool& seen = is(argument, jobOption) ? haveJob : m_json;
            if (seen)
                return fail(tr("%1 is given twice.").arg(option));
            seen = true;
            continue;
        }
        if (!is(argument, boardOption))
            return fail(tr("Unknown argument '%1'.").arg(argument));
        if (haveBoard)
            return fail(tr("%1 is given twice.").arg(option));
        haveBoard = true;
        const QString value = arguments.value(++i);
        if (value.isEmpty() || value.startsWith(QLatin1Char('-')))
            return fail(tr("-board needs 'all' or board IDs such as 1,3."));
        bool all = false;
        const QString problem = JobArguments::parseBoards(value, &all, &m_boards);
        if (!problem.isEmpty())
            return fail(problem);
        m_selection = all ? AllBoards : NamedBoards;
    }
    return true;
}

bool UpdateOptions::fail(const QString& message)
{
    m_error = message;
    return false;
}
