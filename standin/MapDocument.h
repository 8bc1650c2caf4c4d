// Map documents on disk: a JSON file naming the search tolerance, the view
// and the layers, with feature data in GeoJSON files beside it. The format is
// described in docs/map-document.md.
#pragma once

#include "standin/StandIn.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace snapvane::standin {

// A document that cannot be loaded. Message() names the file and the problem,
// e.g. "C:\maps\town.json: layer 2 (Sites): the source file sites.geojson
// cannot be read".
class MapDocumentError : public std::runtime_error {
public:
    explicit MapDocumentError(std::wstring message);
    const std::wstring& Message() const noexcept { return message_; }

private:
    std::wstring message_;
};

// Loads a map document into a new stand-in host. Relative source paths are
// taken from the document's folder. Throws MapDocumentError.
std::unique_ptr<StandInHost> LoadMapDocument(const std::wstring& path);

} // namespace snapvane::standin
