// Where a symbolic link in the folder leads. The walk itself, over real
// folders with links inside, outside, dangling and in loops, is tried
// against Info-ZIP zip by tests/e2e/stub/test_sfxpack_links.py.
#include <gtest/gtest.h>

#include "tools/sfxpack/walk.h"

namespace {

using sfxpack::LinkTarget;

TEST(LinkClassification, InsideMeansTheFolderOrBelowIt) {
    const struct {
        const char* root;
        const char* resolved;
        LinkTarget where;
    } cases[] = {
        {"/work/app", "/work/app/bin/tool", LinkTarget::kInside},
        {"/work/app", "/work/app", LinkTarget::kInside},  // the folder itself: a loop, which the walk finds
        {"/work/app", "/work/app-data/x", LinkTarget::kOutside},  // a name that only starts alike
        {"/work/app", "/work/ap", LinkTarget::kOutside},
        {"/work/app", "/work", LinkTarget::kOutside},
        {"/work/app", "/etc/passwd", LinkTarget::kOutside},
        {"/", "/etc/passwd", LinkTarget::kInside},
        {"/work/app", "", LinkTarget::kNowhere},
    };
    for (const auto& c : cases) EXPECT_EQ(sfxpack::ClassifyLink(c.root, c.resolved), c.where) << c.resolved;
}

}  // namespace
