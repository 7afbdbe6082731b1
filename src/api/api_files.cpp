// api_files.cpp -- the file handler: copying, moving and deleting files,
// and building, mounting, merging, saving and unpacking file packages.

#include "api/api_args.h"
#include "api/api_local.h"

namespace api {

// [SECTION] Names

const CallEntry kFileCalls[] = {
    {"add_file_package", nullptr},
    {"close_file_package", nullptr},
    {"copy_file", nullptr},
    {"create_file_package", nullptr},
    {"decode_file_package", nullptr},
    {"delete_file", nullptr},
    {"load_file_package", nullptr},
    {"merge_file_package", nullptr},
    {"move_file", nullptr},
    {"remove_file_package", nullptr},
    {"rename_file_package", nullptr},
    {"save_file_package", nullptr},
};
const size_t kFileCallCount = sizeof kFileCalls / sizeof kFileCalls[0];

const script::SystemCallHandler HandleFileSystemCall = TableHandler<kFileCalls, kFileCallCount>;

}  // namespace api
