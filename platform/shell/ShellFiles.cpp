// Opening links, the open and save dialogs, file existence and the
// clipboard.

#include "platform/shell/Shell.h"
#include "platform/shell/ShellTesting.h"
#include "platform/win/WinQt.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

OpenFileNameHook openFileNameHook = nullptr;
OpenFileNameHook saveFileNameHook = nullptr;
OpenLinkHook openLinkHook = nullptr;

// ShellExecute's answers: above 32 is success; 2 is "file not found".
constexpr std::intptr_t kShellSuccess = 33;
constexpr std::intptr_t kShellFailure = 2;

QString QtFilterFromWin32(const char* filter);

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Characters a link may not hold as they are but that stand for themselves
// once percent-encoded: a space, '|' and the other printable ASCII that
// RFC 3986 leaves out. A '%' that starts no escape of its own is one too.
bool NeedsEncoding(const char* text)
{
    const char c = *text;
    if (c == '%')
        return !(IsHexDigit(text[1]) && IsHexDigit(text[2]));
    return std::strchr(" \"<>\\^`{|}", c) != nullptr;
}

} // namespace

std::string EncodeLink(const char* link)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string encoded;
    if (link == nullptr)
        return encoded;
    for (const char* cursor = link; *cursor != '\0'; ++cursor) {
        const auto byte = static_cast<unsigned char>(*cursor);
        // Control characters are never part of a link one may open.
        if (byte < 0x20 || byte == 0x7F)
            return std::string();
        if (NeedsEncoding(cursor)) {
            encoded += '%';
            encoded += hex[byte >> 4];
            encoded += hex[byte & 0x0F];
        } else {
            encoded += *cursor;
        }
    }
    return encoded;
}

std::intptr_t ShellExecute(HWND /*window*/, const char* verb, const char* file, const char* /*parameters*/,
                           const char* /*directory*/, int /*showCommand*/)
{
    if (file == nullptr || *file == '\0')
        return kShellFailure;
    if (verb != nullptr && std::strcmp(verb, "open") != 0)
        return kShellFailure;
    // Links as people write them (a space, a '|') go out in their encoded
    // form; what is still no valid link then is refused.
    const std::string encoded = EncodeLink(file);
    const QUrl url(QString::fromUtf8(encoded.c_str()), QUrl::StrictMode);
    if (encoded.empty() || !url.isValid() || url.scheme().isEmpty())
        return kShellFailure;
    if (openLinkHook != nullptr)
        return openLinkHook(verb != nullptr ? verb : "open", encoded.c_str()) ? kShellSuccess : kShellFailure;
    if (!EnsureWinApplication())
        return kShellFailure;
    return QDesktopServices::openUrl(url) ? kShellSuccess : kShellFailure;
}

BOOL PathFileExists(const char* path)
{
    if (path == nullptr || *path == '\0')
        return FALSE;
    std::error_code error;
    return std::filesystem::exists(std::filesystem::u8path(path), error) ? TRUE : FALSE;
}

namespace {

QString QtFilterFromWin32(const char* filter)
{
    // "text\0pattern;pattern\0text\0pattern\0\0" → "text (pattern pattern);;text (pattern)"
    QStringList entries;
    if (filter == nullptr)
        return QString();
    const char* cursor = filter;
    while (*cursor != '\0') {
        const QString text = QString::fromUtf8(cursor);
        cursor += std::strlen(cursor) + 1;
        if (*cursor == '\0') {
            entries << text; // a text without patterns
            break;
        }
        QString patterns = QString::fromUtf8(cursor);
        cursor += std::strlen(cursor) + 1;
        patterns.replace(';', ' ');
        entries << QStringLiteral("%1 (%2)").arg(text, patterns.simplified());
    }
    return entries.join(QStringLiteral(";;"));
}

} // namespace

std::string TranslateFileFilter(const char* filter)
{
    return QtFilterFromWin32(filter).toStdString();
}

namespace {

enum class FileDialogMode { Open, Save };

BOOL RunFileDialog(OPENFILENAME* description, FileDialogMode mode)
{
    QFileDialog dialog(WidgetFromHwnd(description->hwndOwner));
    dialog.setWindowTitle(description->lpstrTitle != nullptr ? QString::fromUtf8(description->lpstrTitle)
                                                             : QString());
    if (mode == FileDialogMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((description->Flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile
                                                                    : QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, (description->Flags & OFN_OVERWRITEPROMPT) == 0);
        if (description->lpstrDefExt != nullptr)
            dialog.setDefaultSuffix(QString::fromUtf8(description->lpstrDefExt));
        if (description->lpstrFile[0] != '\0')
            dialog.selectFile(QString::fromUtf8(description->lpstrFile));
    }
    const QString filter = QtFilterFromWin32(description->lpstrFilter);
    if (!filter.isEmpty())
        dialog.setNameFilters(filter.split(QStringLiteral(";;")));
    if (description->lpstrInitialDir != nullptr)
        dialog.setDirectory(QString::fromUtf8(description->lpstrInitialDir));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return FALSE;

    const std::string chosen = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath().toStdString();
    if (chosen.size() + 1 > description->nMaxFile)
        return FALSE;
    std::memcpy(description->lpstrFile, chosen.c_str(), chosen.size() + 1);
    return TRUE;
}

} // namespace

BOOL GetOpenFileName(OPENFILENAME* description)
{
    if (description == nullptr || description->lpstrFile == nullptr || description->nMaxFile == 0)
        return FALSE;
    if (openFileNameHook != nullptr)
        return openFileNameHook(description);
    if (!EnsureWinApplication())
        return FALSE;
    return RunFileDialog(description, FileDialogMode::Open);
}

BOOL GetSaveFileName(OPENFILENAME* description)
{
    if (description == nullptr || description->lpstrFile == nullptr || description->nMaxFile == 0)
        return FALSE;
    if (saveFileNameHook != nullptr)
        return saveFileNameHook(description);
    if (!EnsureWinApplication())
        return FALSE;
    return RunFileDialog(description, FileDialogMode::Save);
}

void SetSaveFileNameHook(OpenFileNameHook hook)
{
    saveFileNameHook = hook;
}

BOOL SetClipboardText(const char* text)
{
    if (text == nullptr || !EnsureWinApplication())
        return FALSE;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard == nullptr)
        return FALSE;
    const QString value = QString::fromUtf8(text);
    clipboard->setText(value, QClipboard::Clipboard);
    // Middle-click pasting on X11 takes the primary selection.
    if (clipboard->supportsSelection())
        clipboard->setText(value, QClipboard::Selection);
    return TRUE;
}

std::string GetClipboardText()
{
    if (!EnsureWinApplication() || QGuiApplication::clipboard() == nullptr)
        return std::string();
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard).toStdString();
}

void SetOpenFileNameHook(OpenFileNameHook hook)
{
    openFileNameHook = hook;
}

void SetOpenLinkHook(OpenLinkHook hook)
{
    openLinkHook = hook;
}
