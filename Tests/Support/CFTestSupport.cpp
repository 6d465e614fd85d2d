#include <CFTestSupport.h>

#include <fstream>
#include <sstream>

namespace {

std::string FixturePath(std::string_view relativePath)
{
    return std::string(BRINDLET_FIXTURES_DIR) + "/" + std::string(relativePath);
}

}  // namespace

std::string ReadFixture(std::string_view relativePath)
{
    std::ifstream in(FixturePath(relativePath), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFixture(std::string_view relativePath, std::string_view bytes)
{
    std::ofstream out(FixturePath(relativePath), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
