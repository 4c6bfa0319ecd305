#include "platform/linux/xml/start_tags.h"

#include <string_view>

namespace platform::linux_adapter {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "xmlns" alone or with a prefix after it.
bool declaresNamespace(std::string_view name) {
    return name.starts_with("xmlns") &&
           (name.size() == 5 || name[5] == ':' || name[5] == '=' || isBlank(name[5]));
}

}  // namespace

std::size_t firstCrowdedStartTag(std::span<const uint8_t> doc, std::size_t maxAttributes,
                                 std::size_t maxNamespaces) {
    const std::string_view text(reinterpret_cast<const char*>(doc.data()), doc.size());
    const std::size_t end = text.size();
    // Past the end of `closer` after `from`, or the end of the text when it never comes.
    const auto after = [&](std::size_t from, std::string_view closer) {
        const std::size_t at = text.find(closer, from);
        return at == std::string_view::npos ? end : at + closer.size();
    };
    std::size_t namespaces = 0;
    std::size_t i = 0;
    while ((i = text.find('<', i)) != std::string_view::npos) {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("<!--")) {
            i = after(i + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            i = after(i + 9, "]]>");
        } else if (rest.starts_with("<!")) {
            return end;
        } else if (rest.starts_with("<?")) {
            i = after(i + 2, "?>");
        } else if (rest.starts_with("</")) {
            i = after(i + 2, ">");
        } else {
            // One '=' outside the quoted values per attribute, after the attribute's name.
            std::size_t attributes = 0;
            std::size_t name = i + 1;
            bool inName = true;
            char quote = 0;
            std::size_t j = i + 1;
            for (; j < end; ++j) {
                const char c = text[j];
                if (quote) {
                    if (c == quote) quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                    inName = false;
                } else if (c == '=') {
                    if (++attributes > maxAttributes) return i;
                    if (declaresNamespace(text.substr(name, j - name + 1)) &&
                        ++namespaces > maxNamespaces) {
                        return i;
                    }
                    inName = false;
                } else if (c == '>' || c == '<') {
                    break;
                } else if (isBlank(c)) {
                    inName = false;
                } else if (!inName) {
                    inName = true;
                    name = j;
                }
            }
            i = j;
        }
    }
    return end;
}

}  // namespace platform::linux_adapter
