#include "derive_archive_name.h"
#include "job_fields.h"

namespace vedo {

// The archive name follows the source, as the main window's field does.
void PlainJobFields::setSource(const std::string& text) {
  source_ = text;
  target_ = DeriveArchiveName(source_);
}

}  // namespace vedo
