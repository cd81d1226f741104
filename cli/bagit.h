// A batch folder kept as a BagIt bag (RFC 8493, version 1.0), for archives that take bags in:
// the diskettes' files, batch.csv and report.html under data/, the payload manifests (the batch's
// manifests, their names with data/) at the top beside bagit.txt, bag-info.txt and a tag manifest
// for each payload manifest's hash. The batch's own working files (.batch.lock, .NAME.batch and the
// hidden part files) stay at the top too, outside data/: a validator counts every file under
// data/ as payload, so a diskette being imaged must leave data/ as the manifests say.
// A folder is a bag when it has bagit.txt, which a folder made into one gets last: by then its
// payload is under data/ and its manifests name it there.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace cli {

// Where a bag's payload lies, as its manifests name it.
constexpr const char* kBagPayload = "data/";

// What bag-info.txt says of who imaged the box, where given: its Contact-Name and its
// Internal-Sender-Identifier.
struct BagFields {
    std::string operatorName;
    std::string box;
};

bool IsBag(const std::string& folder);
// A bag that was made whole: it has a tag manifest too (one that stopped half-way has not).
bool IsWholeBag(const std::string& folder);

// The files under folder/data, subfolders' too, hidden ones too, each as "data/NAME", sorted.
std::vector<std::string> PayloadFiles(const std::string& folder);

// Makes the batch folder a bag: its visible files (the manifests aside) go under data/, every
// manifest lists them there, batch.csv and report.html too, and the tag files are written. A new or
// empty folder gets a manifest for each of hashes (FixityAlgorithm bits). To be called under the
// folder's lock, once what stopped batches left is filed; a folder made into a bag half-way
// is finished. False with a one-line reason, the folder as it was when nothing was moved yet.
bool MakeBag(const std::string& folder, unsigned hashes, const BagFields& fields,
             std::string* error);

// Writes bag-info.txt anew (Bag-Software-Agent, Bagging-Date and Payload-Oxum now; the fields
// given added; any other field kept) and a tag manifest for each payload manifest, over
// bagit.txt, bag-info.txt and the payload manifests. Under the folder's lock, after the
// payload manifests are written.
bool WriteBagTags(const std::string& folder, const BagFields& fields, std::string* error);

// What check adds for a bag: bagit.txt's two fields, every tag manifest's files, and
// Payload-Oxum against data/. Each problem is passed to report as one line; the number of tag
// files that matched is returned.
int CheckBagTags(const std::string& folder, const std::function<void(const std::string&)>& report);

}  // namespace cli
