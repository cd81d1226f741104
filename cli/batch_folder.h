// The folder a batch files into, shared by any number of batch processes at once, on any
// number of drives. Three rules keep it whole:
// - A diskette's name is reserved by a hidden lock file, .NAME.batch, made only where no file
//   of that name exists and locked by its process for as long as the diskette is imaged. The
//   system lets the lock go when the process ends, however it ends, so a reservation whose lock
//   can be taken belongs to a batch that stopped.
// - While it is imaged, a diskette's files have hidden names (.NAME.part.tvl, .map, .img, .svg,
//   .info); they take their names only when it is filed, so a batch that stops anywhere leaves
//   the folder's visible files as they were.
// - Filing, reserving and recovering happen under the folder's lock (.batch.lock), so the
//   manifests, batch.csv and report.html, each replaced whole, take one diskette at a time, and
//   check never sees a diskette half filed. Listing a diskette's files and drawing its picture
//   come before, outside the lock: a hostile diskette keeps no other drive or check waiting.
// - The moment a diskette's image is whole, its hidden info (.NAME.part.info) says so: from then
//   on whatever stops the batch, the image is filed, never removed.
// - While a diskette is filed, .NAME.filing says so; a batch stopped then leaves the folder's
//   files and manifests disagreeing, and check reports that one line instead of each mismatch.
// A batch (or report, or bag) that takes the folder finishes what a stopped one left: a diskette
// whose info was written is listed and filed; an interrupted rescue is filed with what it read
// (to be finished with --resume); the unfinished image of a compress is removed and its name is
// free again.
// A folder may be a BagIt bag (see bagit.h): then the filed files, batch.csv and report.html
// lie under data/ and the manifests name them there, while the hidden files above stay at the
// top. Whether it is one is looked at each time the folder's lock is taken, so a batch that
// began before the folder was made a bag files into the bag.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/bagit.h"
#include "cli/batch_record.h"
#include "platform/lock_file.h"

namespace cli {

// A name held by this process until it is filed or given up.
struct Reservation {
    std::string name;
    platform::LockFile lock;
};

class BatchFolder {
  public:
    // Makes the folder when missing and opens its lock file; false with a one-line reason.
    bool Open(const std::string& folder, std::string* error);
    // The same for a folder that must be there already (for check, bag, report).
    bool OpenExisting(const std::string& folder, std::string* error);

    // A file at the folder's top: the lock, the hidden files, the manifests.
    std::string Path(const std::string& file) const { return m_folder + "/" + file; }
    // A filed file (a diskette's image, map, info, batch.csv): at the top, or under data/ in a
    // bag. Listed() is its name in the manifests.
    std::string PayloadPath(const std::string& file) const { return Path(Listed(file)); }
    std::string Listed(const std::string& file) const { return m_payload + file; }
    std::string PayloadFolder() const { return m_payload.empty() ? m_folder : Path("data"); }
    // Where a diskette's file lives until it is filed: ".NAME.part.EXT".
    std::string PartPath(const std::string& name, const std::string& ext) const {
        return Path("." + name + ".part." + ext);
    }

    // The folder's lock, held while the object lives.
    class Held {
      public:
        // Without wait, not ok() at once when another holds it.
        explicit Held(BatchFolder& folder, bool wait = true);
        ~Held();
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;
        bool ok() const { return m_ok; }

      private:
        BatchFolder& m_folder;
        bool m_ok;
    };

    // The folder's lock must be held for the rest.

    // Makes the folder a bag when it is none (see MakeBag in bagit.h); fields go into its
    // bag-info.txt each time a diskette is filed.
    bool KeepAsBag(unsigned hashes, const BagFields& fields, std::string* error);

    // Finishes or clears what batches that stopped left behind; one line in said for each
    // diskette. False with a one-line reason when a file could not be written.
    bool Recover(unsigned hashes, std::vector<std::string>* said, std::string* error);

    // Reserves the first free name that pattern makes from *number on, and sets *number to its
    // number. begun (what is known at the start) is kept beside it under that name, for a
    // batch that has to file the diskette after this one stopped.
    bool Reserve(const std::string& pattern, int* number, BatchRecord begun,
                 Reservation* reservation, std::string* error);
    // Whether a diskette is filed under name, or one is at work under it, or a file has it.
    bool Taken(const std::string& name) const;
    // Reserves name itself (an identifier); false with a reason when it is taken, *taken set.
    bool ReserveNamed(const std::string& name, BatchRecord begun, Reservation* reservation,
                      bool* taken, std::string* error);
    // Reserves a name already filed, to finish its rescue; false with a reason when it is not
    // filed or another batch is at work on it.
    bool ReserveFiled(const std::string& name, Reservation* reservation, std::string* error);
    // Gives the name up, removing its hidden files: nothing was filed under it.
    void Release(Reservation* reservation);

    // Needs no lock: the diskette's name is reserved. Marks the diskette read (its hidden info),
    // then lists its files and draws its picture into its hidden files, noting the counts in
    // record. A listing that cancelled() stops leaves the diskette unlisted and cancelled, its
    // image kept. False with a reason when a file cannot be written.
    bool Prepare(BatchRecord& record, const std::function<bool()>& cancelled, std::string* error);

    // Files the diskette: sets record.sameAs where another diskette has its content, writes
    // its info, gives its hidden files their names, replaces its lines in every manifest (hashes
    // and those already in the folder) and its row in batch.csv, and lets the name go.
    bool File(BatchRecord& record, unsigned hashes, Reservation* reservation, std::string* error);
    // Files record's info again for a diskette filed before, with its lines in the manifests
    // and its row in batch.csv: what came after filing (the --each command) is kept with it.
    bool Amend(BatchRecord& record, unsigned hashes, std::string* error);

    // Replaces the lines of these filed files (as Listed() names them) in every manifest the
    // folder has, a file that is gone losing its lines; in a bag the tag files follow. For the
    // files made again from the others: the pictures and the report.
    bool Relist(const std::vector<std::string>& files, std::string* error);
    // Around remaking the pictures and the report and relisting them: a stop in between is
    // told by check and finished by the next Recover.
    bool BeginRelisting(std::string* error);
    bool EndRelisting(std::string* error);

  private:
    // Lists the diskette's files into .NAME.part.dfxml beside its image and notes the counts,
    // or why there is no listing, in record; false only when the listing cannot be written.
    bool WriteListing(const std::string& name, BatchRecord& record,
                      const std::function<bool()>& cancelled, std::string* error);
    // The picture from the diskette's info and map, hidden or filed, into .NAME.part.svg.
    bool DrawPicture(const std::string& name, std::string* error) const;
    bool FileNamed(const std::string& name, BatchRecord& record, const std::string& infoText,
                   unsigned hashes, std::string* error);
    bool RewriteManifests(const std::string& name, const BatchRecord& record,
                          const std::string& infoText, unsigned hashes, std::string* error);
    bool RewriteLog(const BatchRecord& record, std::string* error);
    std::string SameContent(const BatchRecord& record) const;
    void RemoveParts(const std::string& name) const;
    bool RecoverOne(const std::string& name, unsigned hashes, std::string* said,
                    std::string* error);

    std::string m_folder;
    std::string m_payload;  // "" or kBagPayload
    BagFields m_bagFields;
    platform::LockFile m_lock;
};

// The diskettes that batches which stopped left unfinished in folder: reservations whose lock
// nobody holds. (One a running batch is imaging is not among them.)
std::vector<std::string> UnfinishedDiskettes(const std::string& folder);
// The diskettes running batches are at work on in folder: reservations whose lock is held.
std::vector<std::string> DiskettesAtWork(const std::string& folder);
// The diskettes whose filing a batch that stopped left half done (.NAME.filing), and ".report"
// for a report stopped before it relisted what it made; to be asked under the folder's lock,
// which every filing holds.
std::vector<std::string> InterruptedFilings(const std::string& folder);

// The folder's files, hidden ones included, sorted.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace cli
