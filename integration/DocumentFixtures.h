#pragma once
// Source files whose document-level data a merge must carry, made with the
// PDF builder: links of every kind with named destinations and form fields,
// and pages that depend on optional content, page labels and graphics
// states. Two documents made with different markers use the same names
// throughout, so merging them collides on every one.

#include <cstdint>
#include <string>

namespace qz::integration {

// `pages` pages, each holding nine links: explicit destinations (by page
// reference and by page index), go-to actions with /Next chains, named
// destinations in a three-level /Dests name tree and in an old-style /Dests
// dictionary, a URI and a named action; form fields whose values live on
// parent fields (one field with widgets on two pages) and one field per
// page. With `objectStreams` every object that can be is packed in object
// streams.
std::string LinkDocument(const std::string& marker, int32_t pages, bool objectStreams);

// Three pages that render differently when their catalog's data or their
// resources are lost: a layer hidden by default over a black box and a
// visible one (`offBase`: the default configuration's base state is OFF and
// the visible layer is listed in /ON), page labels (`labelPrefix` before
// lower-case roman numbers, then decimal numbers from 10 on page 3),
// a half-transparent graphics state named /A and a DeviceN colour space
// whose attributes are an empty dictionary. Objects packed in object
// streams.
std::string FeatureDocument(const std::string& marker, bool offBase,
                            const std::string& labelPrefix);

}  // namespace qz::integration
