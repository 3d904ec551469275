# fish completion for savewright
# SPDX-License-Identifier: GPL-3.0-or-later

# The task names of the configuration this command line would use.
function __savewright_tasks
    set -l words (commandline -opc)
    set -l roots
    for i in (seq 2 (count $words))
        if contains -- $words[$i] --repo --support; and test $i -lt (count $words)
            set roots $roots $words[$i] $words[(math $i + 1)]
        end
    end
    savewright $roots tasks 2>/dev/null
end

set -l commands status tasks run dry-run stop pause resume show
complete -c savewright -f
complete -c savewright -n "not __fish_seen_subcommand_from $commands" -a "$commands"
complete -c savewright -n "__fish_seen_subcommand_from run dry-run stop" -a "(__savewright_tasks)"
complete -c savewright -n "__fish_seen_subcommand_from status" -l json -d "as one JSON object"
complete -c savewright -n "__fish_seen_subcommand_from status" -l line -d "the count line alone"
complete -c savewright -l repo -r -a "(__fish_complete_directories)" -d "script repository"
complete -c savewright -l support -r -a "(__fish_complete_directories)" -d "support folder"
complete -c savewright -l observe -d "watch only, start nothing"
complete -c savewright -l headless -d "run without a display"
complete -c savewright -l snapshot -r -F -d "render the panel into a PNG"
complete -c savewright -l dark -d "with --snapshot: dark look"
complete -c savewright -l expand -d "with --snapshot: every group expanded"
complete -c savewright -l wait -x -d "with --snapshot: seconds to run first"
complete -c savewright -l run-spiegel -d "run Scripts/run_spiegel.sh"
complete -c savewright -s h -l help -d "short usage"
complete -c savewright -l version -d "version"
