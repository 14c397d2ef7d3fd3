#pragma once
// The inputs and outputs of one job. The main window implements them with its
// controls; PlainJobFields serves tests and runs without windows. Writing Source
// derives a new Target (the archive name follows the source), so a writer sets
// Source first and Target after it.

#include <string>

namespace vedo {

class JobFields {
 public:
  virtual ~JobFields() = default;
  virtual std::string Source() const = 0;  // source file or wildcard pattern
  virtual void setSource(const std::string& text) = 0;
  virtual std::string Target() const = 0;  // archive name, or copy/move destination
  virtual void setTarget(const std::string& text) = 0;
  virtual bool DeleteAfter() const = 0;  // delete the sources after compression
  virtual void setDeleteAfter(bool on) = 0;
  virtual std::string BatchFileName() const = 0;
  virtual void setBatchFileName(const std::string& text) = 0;
  virtual bool UseBatch() const = 0;  // run the batch file instead of a single job
  virtual void setUseBatch(bool on) = 0;
};

class PlainJobFields : public JobFields {
 public:
  std::string Source() const override { return source_; }
  void setSource(const std::string& text) override;
  std::string Target() const override { return target_; }
  void setTarget(const std::string& text) override { target_ = text; }
  bool DeleteAfter() const override { return deleteAfter_; }
  void setDeleteAfter(bool on) override { deleteAfter_ = on; }
  std::string BatchFileName() const override { return batchFileName_; }
  void setBatchFileName(const std::string& text) override { batchFileName_ = text; }
  bool UseBatch() const override { return useBatch_; }
  void setUseBatch(bool on) override { useBatch_ = on; }

 private:
  std::string source_;
  std::string target_ = ".LZH";
  bool deleteAfter_ = false;
  std::string batchFileName_;
  bool useBatch_ = false;
};

}  // namespace vedo
