#include "programoptions.h"

#include "jobarguments.h"
#include "widgetfactory.h"

#include <QCoreApplication>

namespace
{

const QString programOption = QStringLiteral("-program");
const QString boardOption = QStringLiteral("-board");
const QString slotOption = QStringLiteral("-slot");
const QString jsonOption = QStringLiteral("-json");
const QString countOption = QStringLiteral("-count");

bool is(const QString& argument, const QString& option)
{
    return JobArguments::is(argument, option);
}

bool isOption(const QString& argument)
{
    return is(argument, programOption) || is(argument, boardOption) || is(argument, slotOption)
        || is(argument, jsonOption) || is(argument, countOption) || WidgetFactory::isShellOption(argument);
}

QString tr(const char* text)
{
    return QCoreApplication::translate("ProgramOptions", text);
}

} // namespace

bool ProgramOptions::requested(const QStringList& arguments)
{
    return JobArguments::contains(arguments, programOption);
}

bool ProgramOptions::parse(const QStringList& arguments)
{
    m_fileName.clear();
    m_boardIDs.clear();
    m_allBoards = false;
    m_newBoards = false;
    m_count = 0;
    m_slot = 0;
    m_json = false;
    m_error.clear();
    bool haveFile = false;
    bool haveBoard = false;
    bool haveSlot = false;
    bool haveCount = false;

    // Known before anything else, so an error after a faulty argument comes out as JSON too.
    m_json = JobArguments::contains(arguments, jsonOption);

    for (int i = 1; i < arguments.size(); ++i) {
        const QString argument = arguments.at(i);
        if (WidgetFactory::isShellOption(argument))
            continue;
        if (is(argument, jsonOption))
            continue;
        const bool file = is(argument, programOption);
        const bool board = is(argument, boardOption);
        const bool slot = is(argument, slotOption);
        const bool count = is(argument, countOption);
        if (!file && !board && !slot && !count)
            return fail(tr("Unknown argument '%1'.").arg(argument));

        const QString option = argument.toLower();
        if ((file && haveFile) || (board && haveBoard) || (slot && haveSlot) || (count && haveCount))
            return fail(tr("%1 is given twice.").arg(option));
        if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty() || isOption(arguments.at(i + 1)))
            return fail(tr("%1 needs a value.").arg(option));
        const QString value = arguments.at(++i);

        if (file) {
            haveFile = true;
            m_fileName = value;
        } else if (count) {
            haveCount = true;
            bool ok = false;
            m_count = value.toInt(&ok, 10);
            if (!ok || m_count < 1)
                return fail(tr("-count needs a number of boards from 1 up, not '%1'.").arg(value));
        } else if (board) {
            haveBoard = true;
            if (is(value, QStringLiteral("new"))) {
                m_newBoards = true;
                continue;
            }
            const QString problem = JobArguments::parseBoards(value, &m_allBoards, &m_boardIDs);
            if (!problem.isEmpty())
                return fail(problem);
        } else {
            haveSlot = true;
            bool ok = false;
            m_slot = value.toInt(&ok, 10);
            if (!ok || m_slot < 0 || m_slot > 3)
                return fail(tr("-slot needs 0 (module), 1 (extension board), 2 (ISP) or 3 (external module), not "
                               "'%1'.")
                                .arg(value));
        }
    }

    if (!haveFile)
        return fail(tr("-program needs a HEX file."));
    if (!haveBoard)
        return fail(tr("-board is missing: name the board whose module is to be programmed."));
    if (haveCount && !m_newBoards)
        return fail(tr("-count goes with -board new."));
    return true;
}

bool ProgramOptions::fail(const QString& message)
{
    m_error = message;
    return false;
}
