#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "rendering/MailHandoff.h"

class QPrinter;
class QWidget;

namespace miravel::desktop {

// Lays `html` out on `printer` page by page with exactly the printer's margins: a text
// document printed the plain way adds a frame of its own and page numbers.
void paintHtml(const QString& html, QPrinter& printer);

// Prints through the print dialog with 60 points left and right and 40 top and bottom. The
// tests (and a PDF export) set a file to print to without a dialog.
class QtPrintHandoff : public PrintHandoff {
public:
    explicit QtPrintHandoff(std::function<QWidget*()> parent);
    void printHtml(const std::string& html) override;
    void setOutputFile(QString pdfPath) { m_outputFile = std::move(pdfPath); }

private:
    std::function<QWidget*()> m_parent;
    QString m_outputFile;
};

// Opens "mailto:" addresses through Qt's desktop services, and shows a message's attachment
// in a small window from which it can be dragged into the mail.
class QtUrlOpener : public UrlOpener {
public:
    bool openUrl(const std::string& url) override;
};

class QtMailHandoff : public MailHandoff {
public:
    QtMailHandoff(std::shared_ptr<UrlOpener> opener, const UserSettings& settings);

protected:
    void showAttachment(const std::filesystem::path& file) override;
};

}  // namespace miravel::desktop
