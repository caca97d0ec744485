// What the Access readers of both platforms share: their role and their words.
#include "store/sources/access/access_reader.h"

const ReaderRole kAccessReaderRole{"--internal-access-reader", 1, runAccessReader};

std::string accessFileDamaged(const std::string& why) {
  return "the Access file is damaged (" + why + ")";
}

std::string accessReaderFailure(const ReaderEnd& end, const ReaderLimits& limits) {
  return accessFileDamaged(readerFailure(end, limits));
}
