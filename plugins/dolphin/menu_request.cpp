#include "menu_request.h"

#include <KIO/UDSEntry>

namespace tf::dolphin {
namespace {

bool sameLocation(const QUrl& a, const QUrl& b) {
    return a.matches(b, QUrl::StripTrailingSlash | QUrl::NormalizePathSegments);
}

bool isBackground(const KFileItemList& items, const QUrl& shownFolder) {
    if (items.size() != 1 || !items.first().isDir()) {
        return false;
    }
    const KFileItem& item = items.first();
    if (!shownFolder.isEmpty()) {
        return sameLocation(item.url(), shownFolder);
    }
    return item.entry().stringValue(KIO::UDSEntry::UDS_NAME) == QLatin1String(".");
}

QUrl parentFolder(const QUrl& url) {
    return url.adjusted(QUrl::StripTrailingSlash).adjusted(QUrl::RemoveFilename);
}

}  // namespace

QString fileUri(const QUrl& url) {
    return QString::fromLatin1(url.adjusted(QUrl::StripTrailingSlash).toEncoded());
}

std::optional<MenuRequest> menuRequestFor(const KFileItemList& items, const QUrl& shownFolder) {
    if (items.isEmpty()) {
        return std::nullopt;
    }
    for (const KFileItem& item : items) {
        if (item.isNull() || !item.url().isLocalFile()) {
            return std::nullopt;
        }
    }
    // Search results and other virtual views list local files in a folder that is not one.
    const QUrl folder = shownFolder.isLocalFile() ? shownFolder : QUrl();

    MenuRequest request;
    if (isBackground(items, folder)) {
        request.kind = MenuKind::Container;
        request.target = fileUri(items.first().url());
        return request;
    }
    request.kind = MenuKind::Items;
    for (const KFileItem& item : items) {
        request.selection.append(fileUri(item.url()));
    }
    request.target = fileUri(folder.isEmpty() ? parentFolder(items.first().url()) : folder);
    return request;
}

}  // namespace tf::dolphin
