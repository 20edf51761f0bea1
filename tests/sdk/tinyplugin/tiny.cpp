// A minimal plug-in as a third party writes it against the SDK alone.
#include <cstring>

#include <vqrt/vqrt.h>

namespace {

class Tiny : public plugin {
public:
    Tiny() : plugin(nullptr) {}
    char* getName(char* b, int n) override { return copy(b, n, "Tiny"); }
    char* getDescription(char* b, int n) override { return copy(b, n, "A tiny plug-in"); }
    char* getToolTip(char* b, int n) override { return copy(b, n, "Tiny"); }
    char* getMajorCategory(char* b, int n) override { return copy(b, n, "Test"); }
    char* getMinorCategory(char* b, int n) override { return copy(b, n, "Test"); }
    version_t* getVersion(version_t* v) override {
        v->major = 2;
        v->minor = 3;
        return v;
    }
    version_t* getMinEngineVersion(version_t* v) override { return getVersion(v); }
    bool getIcon(CVantryBitmap&) override { return false; }
    int32_t getBlockCount() override { return 1; }
    long* getProperties(long* p) override { return p; }
    bool checkDependency() override { return false; }
    int32_t activatePlugin(CBaseVantryIO*, long) override { return -1; }
    int32_t showDlg(long, void*) override { return 0; }
    void hideDlg(long) override {}

private:
    static char* copy(char* buffer, int length, const char* text) {
        return length > 0 ? std::strncpy(buffer, text, static_cast<size_t>(length)) : buffer;
    }
};

} // namespace

extern "C" plugin* getObject() {
    return new Tiny();
}
