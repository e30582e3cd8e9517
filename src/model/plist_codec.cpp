#include "model/plist_codec.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>

#include "model/plist_formats.h"

namespace tf {

namespace plist {

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace plist

namespace {

// The layout below (tabs, base64 line widths, number forms) is the one settings files have
// always had, so rewriting an unchanged file gives the same bytes.
class XmlWriter {
  public:
    std::string document(const Value& root) {
        out_ =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n";
        value(root, 0);
        out_ += "</plist>\n";
        return std::move(out_);
    }

  private:
    void indent(int depth) { out_.append(static_cast<std::size_t>(depth), '\t'); }

    // Text cannot hold a NUL in a property list; what follows one is not kept.
    void escaped(std::string_view text) {
        text = text.substr(0, text.find('\0'));
        std::size_t from = 0;
        for (std::size_t i = text.find_first_of("&<>"); i != std::string_view::npos;
             i = text.find_first_of("&<>", from)) {
            out_.append(text.substr(from, i - from));
            out_ += text[i] == '&' ? "&amp;" : text[i] == '<' ? "&lt;" : "&gt;";
            from = i + 1;
        }
        out_.append(text.substr(from));
    }

    void element(std::string_view name, std::string_view text) {
        out_ += '<';
        out_ += name;
        out_ += '>';
        out_ += text;
        out_ += "</";
        out_ += name;
        out_ += ">\n";
    }

    void value(const Value& v, int depth) {
        indent(depth);
        switch (v.type()) {
            case Value::Type::Null:
                // Absent values are never stored; an empty string keeps the slot readable.
                out_ += "<string></string>\n";
                return;
            case Value::Type::Bool:
                out_ += *v.boolean() ? "<true/>\n" : "<false/>\n";
                return;
            case Value::Type::Integer: {
                char text[24];
                const auto end = std::to_chars(text, text + sizeof text, *v.integer()).ptr;
                element("integer", std::string_view(text, static_cast<std::size_t>(end - text)));
                return;
            }
            case Value::Type::Real:
                element("real", real(*v.real()));
                return;
            case Value::Type::String:
                out_ += "<string>";
                escaped(*v.string());
                out_ += "</string>\n";
                return;
            case Value::Type::Data:
                data(*v.data(), depth);
                return;
            case Value::Type::Date:
                element("date", date(v.date()->unixSeconds));
                return;
            case Value::Type::Array:
                if (v.array()->empty()) {
                    out_ += "<array/>\n";
                    return;
                }
                out_ += "<array>\n";
                for (const Value& item : *v.array()) {
                    value(item, depth + 1);
                }
                indent(depth);
                out_ += "</array>\n";
                return;
            case Value::Type::Dict:
                if (v.dict()->empty()) {
                    out_ += "<dict/>\n";
                    return;
                }
                out_ += "<dict>\n";
                for (const auto& [key, item] : *v.dict()) {
                    indent(depth + 1);
                    out_ += "<key>";
                    escaped(key);
                    out_ += "</key>\n";
                    value(item, depth + 1);
                }
                indent(depth);
                out_ += "</dict>\n";
                return;
        }
    }

    static std::string real(double d) {
        if (std::isnan(d)) {
            return "nan";
        }
        if (std::isinf(d)) {
            return d > 0 ? "+infinity" : "-infinity";
        }
        if (d == 0) {
            return "0.0";
        }
        char text[32];
        const auto end =
            std::to_chars(text, text + sizeof text, d, std::chars_format::general, 17).ptr;
        return std::string(text, static_cast<std::size_t>(end - text));
    }

    // Whole seconds in UTC, within the range the binary form's 32-bit seconds could hold.
    static std::string date(double unixSeconds) {
        double since = std::floor(unixSeconds - plist::kEpochOffset);
        // A date that is no number (a damaged binary file can hold one) has no time to write.
        if (std::isnan(since)) {
            since = 0;
        }
        since = std::min<double>(since, std::numeric_limits<std::int32_t>::max());
        since = std::max<double>(since, std::numeric_limits<std::int32_t>::min());
        const auto when = static_cast<std::time_t>(since + plist::kEpochOffset);
        std::tm utc{};
        gmtime_r(&when, &utc);
        char text[32];
        const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
        return std::string(text, n);
    }

    // Base64 lines narrow as the indentation grows, down to a floor at eight tabs.
    void data(const Data& bytes, int depth) {
        static constexpr char kAlphabet[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        out_ += "<data>\n";
        std::string encoded;
        encoded.reserve((bytes.size() + 2) / 3 * 4);
        for (std::size_t i = 0; i < bytes.size(); i += 3) {
            const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
            std::uint32_t bits = std::uint32_t{bytes[i]} << 16;
            bits |= n > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0;
            bits |= n > 2 ? std::uint32_t{bytes[i + 2]} : 0;
            encoded += kAlphabet[(bits >> 18) & 0x3F];
            encoded += kAlphabet[(bits >> 12) & 0x3F];
            encoded += n > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
            encoded += n > 2 ? kAlphabet[bits & 0x3F] : '=';
        }
        const int lineIndent = std::min(depth, 8);
        const std::size_t width = static_cast<std::size_t>(76 - 8 * lineIndent);
        for (std::size_t i = 0; i < encoded.size(); i += width) {
            indent(lineIndent);
            out_.append(encoded, i, width);
            out_ += '\n';
        }
        indent(depth);
        out_ += "</data>\n";
    }

    std::string out_;
};

}  // namespace

std::optional<Value> parsePlist(std::string_view bytes) {
    if (bytes.substr(0, 6) == "bplist") {
        return plist::parseBinary(bytes);
    }
    return plist::parseXml(bytes);
}

std::string toXmlPlist(const Value& root) {
    return XmlWriter().document(root);
}

}  // namespace tf
