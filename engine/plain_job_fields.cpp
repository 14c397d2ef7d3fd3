#include "engine/derive_archive_name.h"
#include "engine/job_fields.h"

namespace vedo {

// The archive name follows the source, as the main window's field does.
void PlainJobFields::setSource(const std::string& text) {
  source_ = text;
  target_ = DeriveArchiveName(source_);
}

}  // namespace vedo
