#include "hexfilechooser.h"

#include "basewidget.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

const char* const HexFileChooser::FileFilter = QT_TRANSLATE_NOOP("HexFileChooser", "HEX files (*.hex *.ihx)");

HexFileChooser::HexFileChooser(BaseWidget* page, QWidget* parent)
    : QWidget(parent)
    , m_pathEdit(page->createPathEdit())
    , m_browseButton(new QPushButton(tr("&Browse..."), this))
    , m_page(page)
{
    m_pathEdit->setParent(this);
    m_pathEdit->setObjectName(QStringLiteral("pathEdit"));
    m_pathEdit->setPlaceholderText(tr("Type a path, browse, or drop a .hex file on this page"));
    m_pathEdit->setClearButtonEnabled(true);
    m_browseButton->setObjectName(QStringLiteral("browseButton"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_pathEdit, 1);
    row->addWidget(m_browseButton);

    // The field first, then Browse..., whatever the order they were made in.
    setTabOrder(m_pathEdit, m_browseButton);
    m_pathEdit->setAccessibleName(tr("HEX file"));
    connect(m_browseButton, &QPushButton::clicked, this, &HexFileChooser::browse);
    connect(m_pathEdit, &QLineEdit::returnPressed, this, &HexFileChooser::returnPressed);
    m_page->setAcceptDrops(true);
    m_page->installEventFilter(this);
}

QString HexFileChooser::fileName() const
{
    return m_pathEdit->text().trimmed();
}

void HexFileChooser::setFileName(const QString& fileName)
{
    m_pathEdit->setText(QDir::toNativeSeparators(fileName));
}

void HexFileChooser::setBusy(bool busy)
{
    m_busy = busy;
    m_browseButton->setEnabled(!busy);
    m_pathEdit->setReadOnly(busy);
}

void HexFileChooser::browse()
{
    // The typed file's folder when there is one; otherwise the dialog's remembered folder.
    QString folder;
    const QFileInfo current(QDir::fromNativeSeparators(fileName()));
    if (!fileName().isEmpty() && current.absoluteDir().exists())
        folder = current.absolutePath();
    const QString picked
        = m_page->openFileName(m_page, tr("Open HEX file"), folder, tr(FileFilter), QStringLiteral("hex"));
    if (picked.isEmpty())
        return;
    setFileName(picked);
    emit chosen(picked);
}

QString HexFileChooser::droppedHexFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    for (const QUrl& url : urls) {
        const QString suffix = QFileInfo(url.toLocalFile()).suffix().toLower();
        if (url.isLocalFile() && (suffix == QLatin1String("hex") || suffix == QLatin1String("ihx")))
            return url.toLocalFile();
    }
    return QString();
}

bool HexFileChooser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_page)
        return false;
    if (event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (!m_busy && !droppedHexFile(enter->mimeData()).isEmpty())
            enter->acceptProposedAction();
        else
            enter->ignore();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QString dropped = droppedHexFile(drop->mimeData());
        if (m_busy || dropped.isEmpty()) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        setFileName(dropped);
        emit chosen(dropped);
        return true;
    }
    return false;
}
