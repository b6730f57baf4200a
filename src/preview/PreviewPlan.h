#pragma once
#include "preview/PreviewTypes.h"

#include <string>
#include <vector>

class CSDPObject;

namespace preview {

// The media entries of a session as decoders open them. `sdpText` is the
// session's SDP text; `interfaceAddress` (dotted quad, may be empty) is where
// IPv4 groups are joined.
std::vector<CPreviewSource> PlanPreview(const CSDPObject& session, const std::string& sdpText,
                                        const std::string& interfaceAddress);

} // namespace preview
