#include "ownerchoice.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <iterator>

#include <QString>

#include "archive/text.h"
#include "summary.h"
#include "text/codepage.h"
#include "text/printable.h"

namespace cli {

namespace {

std::string withoutCarriageReturn(std::string text) {
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
    }
    return text;
}

bool sameWithoutCase(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

std::string names(const std::vector<const OwnerFile*>& owners, const std::string& codepage) {
    std::string text;
    for (const OwnerFile* owner : owners) {
        text += (text.empty() ? "" : ", ") + ownerName(*owner, codepage);
    }
    return text;
}

std::vector<const OwnerFile*> all(const std::vector<OwnerFile>& owners) {
    std::vector<const OwnerFile*> pointers;
    for (const OwnerFile& owner : owners) {
        pointers.push_back(&owner);
    }
    return pointers;
}

} // namespace

std::string shownNickname(const OwnerFile& owner, const std::string& codepage) {
    return text::printable(text::toUtf8(withoutCarriageReturn(owner.nickname), codepage));
}

std::string ownerName(const OwnerFile& owner, const std::string& codepage) {
    return shownNickname(owner, codepage) + " (UIN " + text::printable(owner.uin) + ")";
}

std::string unreachableWhy(const OwnerFile& owner, const std::vector<OwnerFile>& owners) {
    if (owner.reachable) {
        return {};
    }
    for (const OwnerFile& other : owners) {
        if (other.reachable && other.nickname == owner.nickname) {
            return "the importer reaches only the other owner of this nickname, UIN " +
                   text::printable(other.uin);
        }
    }
    return "another owner has this nickname";
}

const OwnerFile* matchOwner(const std::vector<OwnerFile>& owners, const std::string& wanted,
                            const std::string& codepage, std::string& error) {
    const std::string plain = withoutCarriageReturn(wanted);
    const auto shown = [&codepage](const OwnerFile& owner) {
        return text::toUtf8(withoutCarriageReturn(owner.nickname), codepage);
    };
    // From the closest match to the loosest; the first that finds anyone decides.
    const std::function<bool(const OwnerFile&)> ways[] = {
        [&](const OwnerFile& owner) { return owner.nickname == wanted; },
        [&](const OwnerFile& owner) {
            return withoutCarriageReturn(owner.nickname) == plain || shown(owner) == plain ||
                   shownNickname(owner, codepage) == wanted;
        },
        [&](const OwnerFile& owner) { return owner.uin == wanted; },
        [&](const OwnerFile& owner) { return sameWithoutCase(shown(owner), plain); },
    };
    std::vector<const OwnerFile*> found;
    for (size_t way = 0; way < std::size(ways) && found.empty(); ++way) {
        for (const OwnerFile& owner : owners) {
            // A nickname names the owner the importer reaches; a UIN names any.
            if ((way == 2 || owner.reachable) && ways[way](owner)) {
                found.push_back(&owner);
            }
        }
    }
    if (found.size() == 1) {
        return found.front();
    }
    error = found.empty() ? "no ICQ owner named \"" + text::printable(wanted) + "\" (owners: " +
                                (owners.empty() ? "none" : names(all(owners), codepage)) + ")"
                          : "\"" + text::printable(wanted) + "\" names more than one ICQ owner (" +
                                names(found, codepage) + "); give the nickname exactly or a UIN";
    return nullptr;
}

std::string ownerTable(const std::vector<OwnerFile>& owners,
                       const std::vector<std::optional<OwnerCounts>>& counts,
                       const std::string& codepage) {
    const auto number = [&counts](size_t i, uint64_t OwnerCounts::*n) {
        return counts[i] ? archive::grouped(*counts[i].*n) : std::string("?");
    };
    size_t nickWidth = 8;
    size_t uinWidth = 3;
    size_t messagesWidth = 8;
    for (size_t i = 0; i < owners.size(); ++i) {
        nickWidth = std::max(nickWidth, text::columns(shownNickname(owners[i], codepage)));
        uinWidth = std::max(uinWidth, text::columns(text::printable(owners[i].uin)));
        messagesWidth = std::max(messagesWidth, number(i, &OwnerCounts::messages).size());
    }
    const auto right = [](const std::string& s, size_t width) {
        return std::string(width > s.size() ? width - s.size() : 0, ' ') + s;
    };
    std::string table = text::padded("Nickname", nickWidth) + "  " + text::padded("UIN", uinWidth) +
                        "  Contacts  " + right("Messages", messagesWidth) + "\n";
    for (size_t i = 0; i < owners.size(); ++i) {
        const std::string why = unreachableWhy(owners[i], owners);
        table += text::padded(shownNickname(owners[i], codepage), nickWidth) + "  " +
                 text::padded(text::printable(owners[i].uin), uinWidth) + "  " +
                 right(number(i, &OwnerCounts::onList), 8) + "  " +
                 right(number(i, &OwnerCounts::messages), messagesWidth) +
                 (why.empty() ? "" : "  archive only: " + why) + "\n";
    }
    return table;
}

const OwnerFile* askOwner(const std::vector<OwnerFile>& owners, const std::string& windowsRoot,
                          const std::string& codepage) {
    std::cerr << "ICQ owners in " << text::printable(windowsRoot) << ":\n";
    size_t width = 0;
    for (const OwnerFile& owner : owners) {
        width = std::max(width, text::columns(shownNickname(owner, codepage)));
    }
    for (size_t i = 0; i < owners.size(); ++i) {
        const std::string why = unreachableWhy(owners[i], owners);
        std::cerr << "  " << i + 1 << "  "
                  << text::padded(shownNickname(owners[i], codepage), width) << "  UIN "
                  << text::printable(owners[i].uin)
                  << (why.empty() ? "" : " (archive only: " + why + ")") << "\n";
    }
    const std::string range = "1-" + std::to_string(owners.size());
    for (;;) {
        std::cerr << "Import which owner (" << range << ")? " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) {
            std::cerr << "\n";
            return nullptr;
        }
        const size_t digits = answer.find_first_not_of("0123456789");
        if (!answer.empty() && digits == std::string::npos && answer.size() < 6) {
            const size_t n = std::stoul(answer);
            if (n >= 1 && n <= owners.size()) {
                return &owners[n - 1];
            }
        }
        std::string error;
        if (const OwnerFile* owner =
                answer.empty() ? nullptr : matchOwner(owners, answer, codepage, error)) {
            return owner;
        }
        std::cerr << "Answer with a number from 1 to " << owners.size()
                  << ", a nickname or a UIN.\n";
    }
}

} // namespace cli
