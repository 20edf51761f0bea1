#pragma once

#include <cstdint>
#include <unordered_set>
#include <vector>

class CFileIO;

/// Pulls the contacts of one ICQ owner out of the owner's contact database by scanning its
/// bytes for the six contact properties; one contact per readContact call, the owner's own
/// entry and UINs already answered skipped.
class CcontactsReader {
public:
    /// One contact; readContact writes only the fields whose property it meets.
    struct contactStruct {
        char firstName[1024];
        char lastName[1024];
        char myDefinedHandle[1024];
        char nickName[1024];
        char primaryEmail[1024];
        int32_t uin;
    };

    /// `ownerUin` is the owner's UIN as text, possibly with a carriage return or other tail;
    /// a longer text than the buffer holds is cut.
    explicit CcontactsReader(const char* ownerUin);

    /// Reads from the file's current position until one contact is complete: answers 1 with it
    /// in `contact`, or 0 when the file ends first.
    int readContact(CFileIO* file, contactStruct* contact);

    /// The property number of `name`: 1 FirstName, 2 LastName, 3 MyDefinedHandle, 4 NickName,
    /// 5 PrimaryEmail, 6 UIN, 0 for anything else.
    int IsKey(const char* name);

    /// True when `uin` was answered before (UINs recorded after a recorded -111 are not seen).
    bool existUin(long uin);

private:
    static constexpr int kSlots = 1024;
    static constexpr int32_t kFreeSlot = -111;

    void recordUin(int32_t uin);

    /// The first answered UINs, in order; free slots hold -111.
    int32_t seenUins[kSlots];
    char ownUinText[1024];
    /// Number of UINs answered, those past the table included.
    int seenCount;

    /// Answered UINs that did not fit the table, in order.
    std::vector<int32_t> moreUins;
    /// The answered UINs that existUin can see, for a constant-time check.
    std::unordered_set<int32_t> seenIndex;
    /// Set once -111 was recorded: it ends the part of the table existUin looks at.
    bool sentinelRecorded;
    /// The leading number of ownUinText, as atol reads it.
    long ownUin;
};
