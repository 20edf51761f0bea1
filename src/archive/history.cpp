#include "archive/history.h"

#include "archive/text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

namespace archive {

namespace {

const char* const kStyle = "<style>\n"
                           "body{font-family:sans-serif;max-width:52em;margin:1em auto;"
                           "padding:0 1em;color:#222}\n"
                           "h2{font-size:1em;margin:1.5em 0 .5em;border-bottom:1px solid #ccc}\n"
                           "table{border-collapse:collapse}td,th{padding:.2em .8em;"
                           "text-align:left}\n"
                           ".m{margin:.5em 0}.sent .who{color:#1a5fb4}"
                           ".received .who{color:#a51d2d}\n"
                           "time{color:#777;font-size:.85em}.kind{font-style:italic}\n"
                           ".text{white-space:pre-wrap}.deleted .text{color:#777}\n"
                           "</style>\n";

std::string pageStart(const std::string& title) {
    return "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           htmlEscape(title) + "</title>\n" + kStyle + "</head>\n<body>\n";
}

const char* const kPageEnd = "</body>\n</html>\n";

// A file name as a relative link: everything but letters, digits and -._~ percent-encoded.
std::string href(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", u);
            out += hex;
        }
    }
    return out;
}

// Only links a browser follows harmlessly become links.
bool linkable(const std::string& url) {
    std::string scheme;
    for (const char c : url.substr(0, url.find(':'))) {
        scheme += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    const bool known = scheme == "http" || scheme == "https" || scheme == "ftp";
    return known && url.compare(scheme.size(), 3, "://") == 0 &&
           url.find_first_of(" \t\n") == std::string::npos;
}

// `url` is cleaned already.
std::string htmlUrl(const std::string& url) {
    const std::string shown = htmlEscape(url);
    return linkable(url) ? "<a href=\"" + shown + "\" rel=\"noreferrer\">" + shown + "</a>" : shown;
}

// The lines of `text`, each indented by two spaces.
void writeIndented(OutFile& file, std::string_view text) {
    size_t start = 0;
    while (start <= text.size()) {
        const size_t end = std::min(text.find('\n', start), text.size());
        file.write("  ");
        file.write(text.substr(start, end - start));
        file.write("\n");
        start = end + 1;
    }
}

} // namespace

HistoryWriter::HistoryWriter(std::string folder, const Archive& archive, const TimeZone& zone,
                             uint64_t pageBytes)
    : folder_(std::move(folder)), zone_(zone), owner_(ownerName(archive.owner)),
      ownerUin_(archive.owner.uin), pageBytes_(pageBytes) {
    for (const Contact& contact : archive.contacts) {
        contacts_.emplace(contact.uin, &contact);
    }
}

void HistoryWriter::add(const Message& message, const MessageRow& row) {
    if (!html_ || conversations_.back().uin != message.uin) {
        close();
        open(message.uin);
    }
    Conversation& conversation = conversations_.back();
    const bool firstOne = conversation.messages == 0;
    conversation.first = firstOne ? message.time : std::min(conversation.first, message.time);
    conversation.last = firstOne ? message.time : std::max(conversation.last, message.time);
    ++conversation.messages;

    const std::string day = zone_.localDate(message.time);
    if (day != day_) {
        if (day_.compare(0, 7, day, 0, 7) != 0 && !day_.empty() && pageWritten_ >= pageBytes_) {
            turnPage(day.substr(0, 7));
        }
        // Each day can be linked to; the first of each year on the page from the list at its
        // end (a page turned within a year begins with one).
        writeHtml("<h2 id=\"" + day + "\">" + day + "</h2>\n");
        if (years_.empty() || day_.compare(0, 4, day, 0, 4) != 0) {
            years_ += std::string(years_.empty() ? "" : " \u00b7 ") + "<a href=\"#" + day + "\">" +
                      day.substr(0, 4) + "</a>";
        }
        text_->write("\n== " + day + " ==\n");
        day_ = day;
    }
    const bool sent = message.direction == Direction::Sent;
    const std::string& who = sent ? owner_ : conversation.name;
    const std::string label = kindLabel(message);
    const std::string& iso = row.isoTime;

    std::string html = std::string("<div class=\"m ") + directionName(message.direction) +
                       (message.inDeletedFolder ? " deleted" : "") + "\"><time datetime=\"" + iso +
                       "\">" + zone_.localClock(message.time) + "</time> <b class=\"who\">" +
                       htmlEscape(who) + "</b>";
    std::string text = "\n" + iso + "  " + who;
    if (!label.empty()) {
        html += " <span class=\"kind\">" + htmlEscape(label) + "</span>";
        text += " (" + label + ")";
    }
    // Written piece by piece: a message's text can be long.
    writeHtml(html + "<div class=\"text\">");
    writeHtml(htmlEscape(row.text, true));
    if (!message.url.empty()) {
        writeHtml(std::string(row.text.empty() ? "" : "<br>") + htmlUrl(row.url));
    }
    writeHtml("</div></div>\n");
    text_->write(text + "\n");
    if (!row.text.empty()) {
        writeIndented(*text_, row.text);
    }
    if (!row.url.empty()) {
        writeIndented(*text_, row.url);
    }
}

void HistoryWriter::open(uint32_t uin) {
    const auto found = contacts_.find(uin);
    Conversation conversation;
    conversation.uin = uin;
    conversation.name =
        found == contacts_.end() ? std::to_string(uin) : displayName(*found->second);
    conversation.stem = names_.take(fileStem(uin, conversation.name));
    conversations_.push_back(conversation);
    day_.clear();

    text_ = std::make_unique<OutFile>(folder_ + "/" + conversation.stem + ".txt");
    text_->write("ICQ history: " + conversation.name + " (" + std::to_string(uin) + ")\nOwner: " +
                 owner_ + " (" + std::to_string(ownerUin_) + ")\nTimes in " + zone_.name() + "\n");
    startPage(conversation.stem, "");
}

void HistoryWriter::startPage(const std::string& stem, const std::string& fromMonth) {
    const Conversation& c = conversations_.back();
    std::string title = "ICQ history: " + c.name + " (" + std::to_string(c.uin) + ")";
    std::string links = "<a href=\"index.html\">All conversations</a>";
    if (!fromMonth.empty()) {
        title += ", from " + fromMonth;
        const size_t pages = c.laterPages.size();
        const std::string& earlier = pages > 1 ? c.laterPages[pages - 2].second : c.stem;
        links += " \u00b7 <a href=\"" + href(earlier + ".html") + "\">Earlier messages</a>";
    }
    html_ = std::make_unique<OutFile>(folder_ + "/" + stem + ".html");
    pageWritten_ = 0;
    years_.clear();
    writeHtml(pageStart(title) + "<p>" + links + " \u00b7 <a href=\"#years\">Years</a></p>\n<h1>" +
              htmlEscape(c.name) + " <small>(ICQ " + std::to_string(c.uin) +
              ")</small></h1>\n<p>Owner: " + htmlEscape(owner_) + " (ICQ " +
              std::to_string(ownerUin_) + "). Times in " + htmlEscape(zone_.name()) + ".</p>\n");
}

void HistoryWriter::turnPage(const std::string& month) {
    Conversation& c = conversations_.back();
    const std::string next = names_.take(c.stem + "-" + month);
    endPage("<p><a href=\"" + href(next + ".html") + "\">Later messages, from " + month +
            "</a></p>\n");
    c.laterPages.emplace_back(month, next);
    startPage(next, month);
}

void HistoryWriter::endPage(const std::string& end) {
    writeHtml("<p id=\"years\">Years: " + years_ + "</p>\n" + end + kPageEnd);
    html_->commit();
    html_.reset();
}

void HistoryWriter::writeHtml(std::string_view html) {
    html_->write(html);
    pageWritten_ += html.size();
}

void HistoryWriter::close() {
    if (!html_) {
        return;
    }
    endPage("");
    text_->commit();
    text_.reset();
}

void HistoryWriter::finish() {
    close();
    writeIndex();
}

void HistoryWriter::writeIndex() const {
    uint64_t total = 0;
    for (const Conversation& c : conversations_) {
        total += c.messages;
    }
    const std::string title = "ICQ history of " + owner_ + " (" + std::to_string(ownerUin_) + ")";
    std::string page = pageStart(title) + "<h1>" + htmlEscape(title) + "</h1>\n<p>" +
                       counted(conversations_.size(), "conversation") + ", " +
                       counted(total, "message") + ". Times in " + htmlEscape(zone_.name()) +
                       ".</p>\n";
    page += "<table>\n<tr><th>Contact</th><th>UIN</th><th>Messages</th><th>First</th>"
            "<th>Last</th><th>Text</th></tr>\n";
    for (const Conversation& c : conversations_) {
        const auto day = [&](int64_t t) {
            return "<time datetime=\"" + zone_.isoTime(t) + "\">" + zone_.localDate(t) + "</time>";
        };
        std::string later;
        for (const auto& [month, stem] : c.laterPages) {
            later += std::string(later.empty() ? " <small>(later pages: " : ", ") + "<a href=\"" +
                     href(stem + ".html") + "\">" + month + "</a>";
        }
        later += later.empty() ? "" : ")</small>";
        page += "<tr><td><a href=\"" + href(c.stem + ".html") + "\">" + htmlEscape(c.name) +
                "</a>" + later + "</td><td>" + std::to_string(c.uin) + "</td><td>" +
                std::to_string(c.messages) + "</td><td>" + day(c.first) + "</td><td>" +
                day(c.last) + "</td><td><a href=\"" + href(c.stem + ".txt") +
                "\">text</a></td></tr>\n";
    }
    OutFile index(folder_ + "/index.html");
    index.write(page + "</table>\n" + kPageEnd);
    index.commit();
}

} // namespace archive
