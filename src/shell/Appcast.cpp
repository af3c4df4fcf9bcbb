#include "shell/Appcast.h"

#include <QString>
#include <QUrl>
#include <QXmlStreamReader>
#include <cctype>

namespace vandrel {

namespace {

constexpr auto kSparkleNs = "http://www.andymatuschak.org/xml-namespaces/sparkle";

bool isWebUrl(const QString& s) {
    QUrl u(s, QUrl::StrictMode);
    return u.isValid() && (u.scheme() == "https" || u.scheme() == "http") && !u.host().isEmpty();
}

std::string trimmed(const QString& s) { return s.trimmed().toStdString(); }

// Splits into alternating runs of digits and non-digits, dropping separators ('.', '-', '_', ' ').
std::vector<std::string_view> versionParts(std::string_view v) {
    std::vector<std::string_view> parts;
    std::size_t i = 0;
    while (i < v.size()) {
        char c = v[i];
        if (c == '.' || c == '-' || c == '_' || c == ' ' || c == '+') {
            ++i;
            continue;
        }
        const bool digit = std::isdigit(static_cast<unsigned char>(c));
        std::size_t j = i;
        while (j < v.size() && v[j] != '.' && v[j] != '-' && v[j] != '_' && v[j] != ' ' && v[j] != '+' &&
               static_cast<bool>(std::isdigit(static_cast<unsigned char>(v[j]))) == digit)
            ++j;
        parts.push_back(v.substr(i, j - i));
        i = j;
    }
    return parts;
}

bool isNumber(std::string_view s) { return !s.empty() && std::isdigit(static_cast<unsigned char>(s[0])); }

int compareNumbers(std::string_view a, std::string_view b) {
    while (a.size() > 1 && a[0] == '0') a.remove_prefix(1);
    while (b.size() > 1 && b[0] == '0') b.remove_prefix(1);
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

int compareVersions(std::string_view a, std::string_view b) {
    auto pa = versionParts(a);
    auto pb = versionParts(b);
    const std::size_t n = std::max(pa.size(), pb.size());
    for (std::size_t i = 0; i < n; ++i) {
        std::string_view x = i < pa.size() ? pa[i] : std::string_view("0");
        std::string_view y = i < pb.size() ? pb[i] : std::string_view("0");
        if (isNumber(x) && isNumber(y)) {
            if (int c = compareNumbers(x, y)) return c;
        } else if (isNumber(x) != isNumber(y)) {
            // "1.0" is newer than "1.0b2": a pre-release word sorts below a number.
            return isNumber(x) ? 1 : -1;
        } else if (int c = x.compare(y)) {
            return c < 0 ? -1 : 1;
        }
    }
    return 0;
}

std::string htmlToPlainText(std::string_view html) {
    std::string out;
    out.reserve(html.size());
    std::size_t i = 0;
    auto lower = [](std::string_view s) {
        std::string l(s);
        for (auto& c : l) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return l;
    };
    while (i < html.size()) {
        char c = html[i];
        if (c == '<') {
            auto end = html.find('>', i);
            if (end == std::string_view::npos) break;
            std::string tag = lower(html.substr(i + 1, end - i - 1));
            std::string name;
            for (char t : tag) {
                if (std::isalnum(static_cast<unsigned char>(t)) || t == '/')
                    name += t;
                else
                    break;
            }
            if (name == "br" || name == "br/" || name == "/p" || name == "/li" || name == "/h1" || name == "/h2" ||
                name == "/h3" || name == "/div" || name == "/ul" || name == "/ol")
                out += '\n';
            else if (name == "li")
                out += "• ";
            i = end + 1;
            continue;
        }
        if (c == '&') {
            auto end = html.find(';', i);
            if (end != std::string_view::npos && end - i <= 8) {
                std::string ent(html.substr(i + 1, end - i - 1));
                std::string rep;
                if (ent == "amp")
                    rep = "&";
                else if (ent == "lt")
                    rep = "<";
                else if (ent == "gt")
                    rep = ">";
                else if (ent == "quot")
                    rep = "\"";
                else if (ent == "apos" || ent == "#39")
                    rep = "'";
                else if (ent == "nbsp")
                    rep = " ";
                if (!rep.empty()) {
                    out += rep;
                    i = end + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    // Collapse the blank lines the markup leaves behind.
    std::string clean;
    int newlines = 0;
    for (char c : out) {
        if (c == '\n') {
            if (++newlines > 2) continue;
        } else if (c != ' ' && c != '\t' && c != '\r') {
            newlines = 0;
        }
        clean += c;
    }
    auto first = clean.find_first_not_of(" \n\t\r");
    auto last = clean.find_last_not_of(" \n\t\r");
    return first == std::string::npos ? std::string() : clean.substr(first, last - first + 1);
}

std::optional<std::vector<AppcastItem>> parseAppcast(std::string_view xml, std::string* error) {
    QXmlStreamReader r(QByteArray(xml.data(), static_cast<qsizetype>(xml.size())));
    std::vector<AppcastItem> items;
    bool sawRss = false;
    bool inItem = false;
    AppcastItem item;
    QString link, enclosureUrl;
    while (!r.atEnd()) {
        auto token = r.readNext();
        if (token == QXmlStreamReader::DTD) {
            // A feed has no business declaring entities; refuse rather than expand them.
            if (error) *error = "the feed declares a document type";
            return std::nullopt;
        }
        if (token == QXmlStreamReader::StartElement) {
            const auto name = r.name();
            const bool sparkle = r.namespaceUri() == QLatin1String(kSparkleNs);
            if (!sawRss) {
                if (name != QLatin1String("rss")) {
                    if (error) *error = "not an RSS feed";
                    return std::nullopt;
                }
                sawRss = true;
                continue;
            }
            if (name == QLatin1String("item") && !inItem) {
                inItem = true;
                item = {};
                link.clear();
                enclosureUrl.clear();
            } else if (inItem && name == QLatin1String("enclosure")) {
                const auto attrs = r.attributes();
                enclosureUrl = attrs.value("url").toString();
                if (auto v = attrs.value(kSparkleNs, "version"); !v.isEmpty() && item.version.empty())
                    item.version = trimmed(v.toString());
                if (auto v = attrs.value(kSparkleNs, "shortVersionString"); !v.isEmpty() && item.shortVersion.empty())
                    item.shortVersion = trimmed(v.toString());
            } else if (inItem && !sparkle && name == QLatin1String("title")) {
                item.title = trimmed(r.readElementText(QXmlStreamReader::IncludeChildElements));
            } else if (inItem && !sparkle && name == QLatin1String("link")) {
                link = r.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            } else if (inItem && !sparkle && name == QLatin1String("description")) {
                item.releaseNotes =
                    htmlToPlainText(r.readElementText(QXmlStreamReader::IncludeChildElements).toStdString());
            } else if (inItem && sparkle && name == QLatin1String("version")) {
                item.version = trimmed(r.readElementText(QXmlStreamReader::IncludeChildElements));
            } else if (inItem && sparkle && name == QLatin1String("shortVersionString")) {
                item.shortVersion = trimmed(r.readElementText(QXmlStreamReader::IncludeChildElements));
            }
        } else if (token == QXmlStreamReader::EndElement && inItem && r.name() == QLatin1String("item")) {
            inItem = false;
            if (isWebUrl(link))
                item.downloadPage = link.toStdString();
            else if (isWebUrl(enclosureUrl))
                item.downloadPage = enclosureUrl.toStdString();
            if (item.shortVersion.empty()) item.shortVersion = item.version;
            if (!item.version.empty()) items.push_back(std::move(item));
        }
    }
    if (r.hasError()) {
        if (error) *error = r.errorString().toStdString();
        return std::nullopt;
    }
    if (!sawRss) {
        if (error) *error = "empty feed";
        return std::nullopt;
    }
    return items;
}

std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items, std::string_view currentBuild) {
    const AppcastItem* best = nullptr;
    for (const auto& it : items)
        if (compareVersions(it.version, currentBuild) > 0 && (!best || compareVersions(it.version, best->version) > 0))
            best = &it;
    if (!best) return std::nullopt;
    return *best;
}

}  // namespace vandrel
