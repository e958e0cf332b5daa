// The text side of the exports: removing record titles from the converter's SVG and the
// file name proposed in the save dialog. Free of Windows, so it is tested natively too.
#pragma once

#include <cstddef>
#include <string>

namespace pelorin {

// The SVG text without the record titles when `showHeadings` is false: top-level "text"
// elements that follow the first top-level "g" or nested "svg" are removed (texts inside
// groups, the atom labels, stay). Returned unchanged when headings are shown, when the text
// is not well-formed XML or has no root element. Never throws.
std::string StripHeadings(const std::string& svgText, bool showHeadings);

// The SVG export's text as the viewer shows the drawing: a single molecule's title, which the
// converter writes over the top left of the picture, moved into the band below the drawing where
// the viewer, the PNG export and thumbnails draw it (LayOutCaption): centred, at the band's size,
// cut as there; the view box (and the page's white rectangle and the picture's size with it)
// grows to hold the band. Grids, drawings without a title and text that is not the converter's
// SVG stay as they are. With headings hidden: StripHeadings. Never throws.
std::string ExportSVGText(const std::string& svgText, bool showHeadings);

// The proposed export name without extension: the file's name without directory and
// extension, followed by "_" and the 1-based record number when the file has more than one
// record; "pelorin_export" when that leaves nothing.
std::string DefaultExportNameFor(const std::string& fileName, size_t recordCount, int shownRecord);

}  // namespace pelorin
