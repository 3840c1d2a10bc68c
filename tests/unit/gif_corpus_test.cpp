// Real GIF files from ../shared/testdata/gif against the reference RGBA
// hashes: frame 0 of every file and every composed frame of animations.
// Files whose reference composes differently from this decoder are listed
// with the reason; broken files must fail or decode cleanly.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "Vistel.h"
#include "corpus.h"

namespace {

// Where the reference's rules differ from ours, per file: the frames listed
// (all frames when empty) are not expected to match.
struct KnownDifference {
    std::set<int> frames;
    const char* reason;
};

const std::map<std::string, KnownDifference>& KnownDifferences()
{
    const char* localTables =
        "frames with their own colour table recolour what earlier frames left on the "
        "canvas, which holds one palette";
    const char* restoreToBackground =
        "restore to background clears the whole canvas to frame 0's transparent index; "
        "the reference fills the frame's rectangle with the opaque background colour";
    const char* clearIndexWithoutTransparency =
        "the area outside frame 0 takes the control block's index byte (255) though "
        "its transparency flag is off; the reference uses index 0";
    const char* outsideScreen =
        "frame 1 reaches outside the logical screen and is skipped; the reference grows "
        "the canvas";
    const char* onlyFrameOutsideScreen =
        "the only frame reaches outside the logical screen: it is skipped and decoding "
        "fails; the reference grows the canvas";
    static const std::map<std::string, KnownDifference> known = {
        {"giflib/pic/welcome2.gif", {{}, localTables}},
        {"image-gif/samples/gifplayer-muybridge.gif",
         {{}, "the canvas keeps frame 0's transparent index (4): later frames' opaque "
              "pixels of that index turn transparent"}},
        {"image-gif/samples/sample_big.gif", {{}, localTables}},
        {"image-rs/anim/border_touching_layers.gif", {{}, clearIndexWithoutTransparency}},
        {"image-rs/anim/issue_1455_undersized.gif", {{}, clearIndexWithoutTransparency}},
        {"image-rs/anim/mixed-disposal.gif", {{}, localTables}},
        {"pillow/dispose_bgnd.gif", {{}, restoreToBackground}},
        {"pillow/dispose_bgnd_rgba.gif", {{}, restoreToBackground}},
        {"pillow/dispose_bgnd_transparency.gif", {{}, restoreToBackground}},
        {"pillow/dispose_none.gif", {{}, localTables}},
        {"pillow/dispose_prev.gif", {{}, localTables}},
        {"pillow/multiple_comments.gif", {{}, localTables}},
        {"pillow/iss634.gif", {{}, localTables}},
        {"pillow/issue_2811.gif", {{0}, "LZW minimum code size 11 is refused (2 to 9 are read)"}},
        {"pillow/test_extents.gif", {{1}, outsideScreen}},
        {"image-rs/anim/oob.gif", {{0}, onlyFrameOutsideScreen}},
        {"image-rs/simple/issue_1455_oversized.gif", {{0}, onlyFrameOutsideScreen}},
        {"pillow/test_extents_transparency.gif", {{1}, outsideScreen}},
    };
    return known;
}

std::string RgbaHash(Vistel& image)
{
    std::vector<uint8_t> rgba = corpus::OpaqueRgba(image);
    return rgba.empty() ? "encode failed" : corpus::Sha256Hex(rgba.data(), rgba.size());
}

struct FileResult {
    int compared = 0;
    std::vector<int> differing;
};

FileResult CompareFile(const std::string& rel, std::vector<uint8_t>& data,
                       const std::vector<corpus::RefFrame>& refs)
{
    FileResult result;
    Vistel first;
    if (!first.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_GIF)) {
        printf("  %s: %s\n", rel.c_str(), first.GetLastError());
        result.compared = 1;
        result.differing.push_back(0);
        return result;
    }
    bool animated = refs.size() > 1 || (refs.size() == 1 && refs[0].index >= 0);
    if (!animated) {
        result.compared = 1;
        const corpus::RefFrame& ref = refs[0];
        if ((long)first.GetWidth() != ref.width || (long)first.GetHeight() != ref.height ||
            RgbaHash(first) != ref.sha256)
            result.differing.push_back(0);
        return result;
    }

    Vistel anim;
    anim.RetreiveAllFrame();
    anim.SetFrame(first.GetNumFrames() - 1);
    if (!anim.Decode(data.data(), (DWORD)data.size(), VISTEL_FORMAT_GIF)) {
        ADD_FAILURE() << rel << " (all frames): " << anim.GetLastError();
        return result;
    }
    if (!KnownDifferences().count(rel)) {
        EXPECT_EQ((size_t)anim.GetNumFrames(), refs.size()) << rel;
    }
    for (const corpus::RefFrame& ref : refs) {
        Vistel* frame = anim.GetFrameNo(ref.index);
        result.compared++;
        if (ref.index >= anim.GetNumFrames() || frame == &anim ||
            (long)frame->GetWidth() != ref.width || (long)frame->GetHeight() != ref.height ||
            RgbaHash(*frame) != ref.sha256)
            result.differing.push_back(ref.index);
    }
    anim.DestroyGifFrames();
    return result;
}

}  // namespace

TEST(GifCorpus, FramesMatchTheReferenceWhereTheRulesAgree)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no test corpus";
    std::vector<std::string> files = corpus::Files("gif", {".gif"});
    int filesCompared = 0, framesCompared = 0, framesDiffering = 0;
    std::vector<std::string> report;
    for (const std::string& rel : files) {
        std::vector<uint8_t> data;
        ASSERT_TRUE(corpus::ReadFile(corpus::Root() + "/gif/" + rel, &data));
        std::vector<corpus::RefFrame> refs;
        if (!corpus::ReadRef("gif", rel, &refs) || refs.empty()) continue;
        FileResult r = CompareFile(rel, data, refs);
        filesCompared++;
        framesCompared += r.compared;
        framesDiffering += (int)r.differing.size();
        auto known = KnownDifferences().find(rel);
        for (int f : r.differing) {
            bool expected = known != KnownDifferences().end() &&
                            (known->second.frames.empty() || known->second.frames.count(f));
            if (!expected) ADD_FAILURE() << rel << " frame " << f << " differs";
        }
        if (!r.differing.empty()) {
            std::string line = rel + ":";
            for (int f : r.differing) line += " " + std::to_string(f);
            report.push_back(line);
        }
    }
    printf("GIF corpus: %d files, %d frames compared, %d differ\n", filesCompared,
           framesCompared, framesDiffering);
    for (const std::string& line : report) printf("  differs: %s\n", line.c_str());
}

TEST(GifCorpus, BrokenFilesFailOrDecodeCleanly)
{
    if (corpus::Root().empty()) GTEST_SKIP() << "no test corpus";
    std::vector<std::string> paths;
    for (const std::string& rel : corpus::Files("gif", {".gif"}))
        if (corpus::Status("gif", rel) == "error") paths.push_back("/gif/" + rel);
    for (const std::string& rel : corpus::Files("fuzz-crashers", {}))
        paths.push_back("/fuzz-crashers/" + rel);
    ASSERT_FALSE(paths.empty());
    for (const std::string& path : paths) {
        std::vector<uint8_t> data;
        ASSERT_TRUE(corpus::ReadFile(corpus::Root() + path, &data));
        for (DWORD type : {(DWORD)VISTEL_FORMAT_GIF, (DWORD)VISTEL_FORMAT_UNKNOWN}) {
            Vistel image;
            if (image.Decode(data.data(), (DWORD)data.size(), type)) {
                EXPECT_TRUE(image.IsValid()) << path;
            } else {
                EXPECT_STRNE(image.GetLastError(), "") << path;
            }
        }
    }
}
