#include "Movies.h"

#include <fstream>
#include <sstream>

std::string SampleMovie(const std::string& name)
{
    std::ifstream in(std::string(ZUMALO_TEST_SOURCE_DIR) + "/content/sp/" + name, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}
