#pragma once

#include <QWidget>

class BaseWidget;
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

    // The page gives the path field its completion and the file dialog that
    // remembers its folder; files dropped on the page are taken.
    explicit HexFileChooser(BaseWidget* page, QWidget* parent = nullptr);

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
    BaseWidget* m_page;
    bool m_busy = false;
};
