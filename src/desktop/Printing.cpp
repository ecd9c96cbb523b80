#include "desktop/Printing.h"

#include <QAbstractTextDocumentLayout>
#include <QDesktopServices>
#include <QDrag>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/QtText.h"
#include "lib/StringTable.h"

namespace miravel::desktop {

void paintHtml(const QString& html, QPrinter& printer) {
    printer.setPageMargins(QMarginsF(60, 40, 60, 40), QPageLayout::Point);
    QTextDocument document;
    document.documentLayout()->setPaintDevice(&printer);
    document.setDocumentMargin(0);
    document.setHtml(html);
    const QSizeF page = printer.pageRect(QPrinter::DevicePixel).size();
    document.setPageSize(page);
    QPainter painter(&printer);
    const int pages = document.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0) {
            printer.newPage();
        }
        painter.save();
        painter.translate(0, -i * page.height());
        document.drawContents(&painter, QRectF(0, i * page.height(), page.width(), page.height()));
        painter.restore();
    }
}

QtPrintHandoff::QtPrintHandoff(std::function<QWidget*()> parent) : m_parent(std::move(parent)) {}

void QtPrintHandoff::printHtml(const std::string& html) {
    QPrinter printer(QPrinter::HighResolution);
    if (!m_outputFile.isEmpty()) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_outputFile);
    } else {
        QPrintDialog dialog(&printer, m_parent ? m_parent() : nullptr);
        if (dialog.exec() != QDialog::Accepted) {
            return;
        }
    }
    paintHtml(qs(html), printer);
}

bool QtUrlOpener::openUrl(const std::string& url) {
    return QDesktopServices::openUrl(QUrl(qs(url), QUrl::StrictMode));
}

namespace {

// The attachment window's file, which a press and drag hands to the mail program.
class AttachmentLabel : public QLabel {
public:
    AttachmentLabel(const QString& file, QWidget* parent) : QLabel(parent), m_file(file) {
        setText(QFileInfo(file).fileName());
        setAccessibleName(tr("Attachment"));
        setFrameShape(QFrame::StyledPanel);
        setAlignment(Qt::AlignCenter);
        setMinimumSize(220, 60);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) {
            return;
        }
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(m_file)});
        drag->setMimeData(mime);
        drag->exec(Qt::CopyAction);
    }

private:
    QString m_file;
};

}  // namespace

QtMailHandoff::QtMailHandoff(std::shared_ptr<UrlOpener> opener, const UserSettings& settings)
    : MailHandoff(std::move(opener), settings) {}

void QtMailHandoff::showAttachment(const std::filesystem::path& file) {
    auto* window = new QWidget(nullptr, Qt::Tool);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(qs(miravel::tr("Attachment")));
    auto* layout = new QVBoxLayout(window);
    layout->addWidget(new QLabel(qs(miravel::tr("Drag the file into your message:")), window));
    layout->addWidget(new AttachmentLabel(qpath(file), window));
    window->show();
}

}  // namespace miravel::desktop
