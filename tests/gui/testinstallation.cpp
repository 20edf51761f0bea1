#include "testinstallation.h"

#include "installation.h"

namespace guitest {

nlohmann::json describe(const SampleInstallation& sample) {
    nlohmann::json owners = nlohmann::json::array();
    for (const IcqOwner& owner : sample.owners) {
        owners.push_back(
            {{"uin", owner.uin},
             {"nickname", owner.nickname},
             {"lineEnd", "lf"},
             {"playSound", "Yes"},
             {"sounds",
              {{"ICQALAdmin",
                {{"path", "C:\\Program Files\\ICQ\\Sounds\\admin.wav"}, {"missing", true}}},
               {"ICQMessage", "C:\\Program Files\\ICQ\\Sounds\\msg.wav"}}},
             {"database",
              {{"contacts",
                {{{"uin", 4711042},
                  {"nickname", "J\u00f6rg"},
                  {"firstName", "J\u00f6rg"},
                  {"lastName", "Wei\u00dfm\u00fcller"},
                  {"handle", "J\u00f6rg aus K\u00f6ln"},
                  {"email", "joerg@web.de"},
                  {"status", "list"}}}}}}});
    }
    return {{"layout", "xp"},
            {"users", sample.users},
            {"registry", "hive"},
            {"icq",
             {{"installed", sample.icqInstalled},
              {"version", 2000},
              {"server", {{"host", "login.icq.com"}, {"port", 5190}}},
              {"owners", owners}}}};
}

bool buildInstallation(const std::string& root, const SampleInstallation& sample,
                       std::string& error) {
    return mkwin::buildInstallation(describe(sample), root, error);
}

} // namespace guitest
