// A minimal plug-in as a third party writes it against the SDK alone.
#include <cstring>

#include <vqrt/vqrt.h>

namespace {

char* copy(char* buffer, int length, const char* text) {
    if (length > 0) {
        std::strncpy(buffer, text, static_cast<size_t>(length));
    }
    return buffer;
}

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
    long* getProperties(long* p) override {
        *p = 0;
        return p;
    }
    bool checkDependency() override { return m_pArbiter != nullptr; }
    int32_t activatePlugin(CBaseVantryIO* io, long) override {
        io->beginSection("TINY");
        io->endSection();
        io->flush();
        return 0;
    }
    int32_t showDlg(long, void*) override { return 0; }
    void hideDlg(long) override {}
};

} // namespace

extern "C" plugin* getObject() {
    return new Tiny();
}
