#include "regexport.h"

#include <cstdio>

#include "emptyhive.h"
#include "text/codepage.h"
#include "text/utf8.h"

namespace mkwin {

namespace {

// regedit continues hex data before a line would pass this width.
constexpr size_t kHexLineWidth = 76;

class Exporter {
public:
    Exporter(RegExportFormat format, const std::string& codepage)
        : format_(format), codepage_(codepage),
          text_(format == RegExportFormat::Regedit4
                    ? "REGEDIT4\r\n\r\n"
                    : "Windows Registry Editor Version 5.00\r\n\r\n") {}

    bool branch(const RegExportBranch& b, std::string& error) {
        return key(b.rootPath, b.tree->root(), error);
    }

    // The file's bytes: 8-bit text as is, version 5 as UTF-16LE behind a byte-order mark.
    std::string finish() const {
        if (format_ == RegExportFormat::Regedit4) {
            return text_;
        }
        return "\xFF\xFE" + text::utf8ToUtf16le(text_);
    }

private:
    bool key(const std::string& path, const RegistryKey& k, std::string& error) {
        const std::optional<std::string> name = encode(path, "key \"" + path + "\"", error);
        if (!name) {
            return false;
        }
        text_ += "[" + *name + "]\r\n";
        for (const RegistryValue& v : k.values) {
            if (!value(v, error)) {
                return false;
            }
        }
        text_ += "\r\n";
        for (const RegistryKey* child : sortedChildren(k)) {
            if (!key(path + "\\" + child->name, *child, error)) {
                return false;
            }
        }
        return true;
    }

    bool value(const RegistryValue& v, std::string& error) {
        std::string line = "@=";
        if (!v.name.empty()) {
            const std::optional<std::string> name = encode(v.name, v.origin, error);
            if (!name) {
                return false;
            }
            line = "\"" + escape(*name) + "\"=";
        }
        const bool plainText =
            v.textual && v.type == kHiveSz && v.data.find_first_of("\r\n") == std::string::npos;
        if (plainText) {
            const std::optional<std::string> quoted = encode(v.data, v.origin, error);
            if (!quoted) {
                return false;
            }
            text_ += line + "\"" + escape(*quoted) + "\"\r\n";
            return true;
        }
        if (!v.textual && v.type == kHiveDword && v.data.size() == 4) {
            uint32_t n = 0;
            for (int i = 3; i >= 0; --i) {
                n = (n << 8) | static_cast<unsigned char>(v.data[static_cast<size_t>(i)]);
            }
            char hex[16];
            std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(n));
            text_ += line + hex + "\r\n";
            return true;
        }
        std::string bytes = v.data;
        if (v.textual) {
            // Texts that regedit cannot quote are exported as their data with the terminator.
            const std::optional<std::string> data = format_ == RegExportFormat::Version5
                                                        ? text::utf8ToUtf16le(v.data)
                                                        : encode(v.data, v.origin, error);
            if (!data) {
                return false;
            }
            bytes = *data + std::string(format_ == RegExportFormat::Version5 ? 2 : 1, '\0');
        }
        if (v.type == kHiveBinary) {
            line += "hex:";
        } else {
            char prefix[24];
            std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(v.type));
            line += prefix;
        }
        hexLines(line, bytes);
        return true;
    }

    void hexLines(std::string line, const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            char item[4];
            std::snprintf(item, sizeof item, "%02x", static_cast<unsigned char>(bytes[i]));
            line += item;
            if (i + 1 < bytes.size()) {
                line += ",";
                if (line.size() + 3 > kHexLineWidth) {
                    text_ += line + "\\\r\n";
                    line = "  ";
                }
            }
        }
        text_ += line + "\r\n";
    }

    static std::string escape(const std::string& text) {
        std::string out;
        for (const char c : text) {
            if (c == '\\' || c == '"') {
                out += '\\';
            }
            out += c;
        }
        return out;
    }

    // UTF-8 for version 5 (converted with the whole text at the end), the code page for
    // REGEDIT4.
    std::optional<std::string> encode(const std::string& utf8, const std::string& origin,
                                      std::string& error) const {
        if (format_ == RegExportFormat::Version5) {
            return utf8;
        }
        std::string problem;
        std::optional<std::string> bytes = text::fromUtf8(utf8, codepage_, problem);
        if (!bytes) {
            error = origin + ": " + problem;
        }
        return bytes;
    }

    RegExportFormat format_;
    const std::string& codepage_;
    std::string text_;
};

} // namespace

std::optional<std::string> regExport(const std::vector<RegExportBranch>& branches,
                                     RegExportFormat format, const std::string& codepage,
                                     std::string& error) {
    Exporter exporter(format, codepage);
    for (const RegExportBranch& b : branches) {
        if (b.tree != nullptr && !exporter.branch(b, error)) {
            return std::nullopt;
        }
    }
    return exporter.finish();
}

} // namespace mkwin
