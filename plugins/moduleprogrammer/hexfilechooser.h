#pragma once

#include <QWidget>

#include <functional>

class QLineEdit;
class QMimeData;
class QPushButton;

// The HEX file field of the programmer pages: a path field (with the page's
// completion), Browse... opening in the typed file's folder or else the
// remembered one, and a .hex or .ihx file dropped anywhere on the page.
class HexFileChooser : public QWidget
{
    Q_OBJECT

public:
    static const char* const FileFilter;

    // Takes over the path field; drops are taken from dropTarget.
    HexFileChooser(QLineEdit* pathEdit, QWidget* dropTarget, QWidget* parent = nullptr);

    // Opens the file dialog in a folder and answers the file chosen or empty
    // (the page's, which remembers the folder).
    void setOpenDialog(std::function<QString(const QString& folder)> dialog) { m_dialog = std::move(dialog); }

    QString fileName() const;
    void setFileName(const QString& fileName);
    // While a run goes on: no typing, browsing or dropping.
    void setBusy(bool busy);

    QLineEdit* pathEdit() const { return m_pathEdit; }
    QPushButton* browseButton() const { return m_browseButton; }

    // The first local .hex or .ihx file of a drop, or empty.
    static QString droppedHexFile(const QMimeData* mime);

public slots:
    // The Browse... button.
    void browse();

signals:
    // Browsed or dropped.
    void chosen(const QString& fileName);
    void returnPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* m_pathEdit;
    QPushButton* m_browseButton;
    QWidget* m_dropTarget;
    bool m_busy = false;
    std::function<QString(const QString&)> m_dialog;
};
