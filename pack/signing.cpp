#include "signing.h"

#include "failure.h"
#include "tools.h"

namespace pack {

std::optional<Signer> signer_of(const SigningOptions& options, std::optional<long long> epoch)
{
    if (options.pkcs12.empty())
        return std::nullopt;
    Signer signer{find_on_path("osslsigncode"), options, epoch};
    if (signer.tool.empty())
        throw Failure("--sign-pkcs12: osslsigncode is not on PATH (Debian: apt install osslsigncode)");
    for (const fs::path& file : {options.pkcs12, options.password_file})
        if (!file.empty() && !fs::is_regular_file(file))
            throw Failure(text_of(file) + ": no such file");
    return signer;
}

void sign_file(const Signer& signer, const fs::path& file, const fs::path& work)
{
    fs::path signed_file = work / "signed";
    fs::path log = work / "osslsigncode.log";
    std::vector<std::string> arguments = {"sign", "-pkcs12", text_of(fs::absolute(signer.options.pkcs12)), "-h", "sha256"};
    if (!signer.options.password_file.empty())
        arguments.insert(arguments.end(), {"-readpass", text_of(fs::absolute(signer.options.password_file))});
    if (!signer.options.timestamp_url.empty())
        arguments.insert(arguments.end(), {"-ts", signer.options.timestamp_url});
    if (signer.epoch)
        arguments.insert(arguments.end(), {"-time", std::to_string(*signer.epoch)});
    arguments.insert(arguments.end(), {"-in", text_of(fs::absolute(file)), "-out", text_of(fs::absolute(signed_file))});
    fs::remove(signed_file);
    ToolRun run = run_tool(signer.tool, arguments, work, log);
    if (run.exit_code != 0)
        throw Failure("--sign-pkcs12 " + text_of(signer.options.pkcs12) + ": osslsigncode cannot sign " +
                      text_of(file.filename()) + " with it: " + telling_line(run.output, "Failed to "));
    fs::rename(signed_file, file);
}

}  // namespace pack
