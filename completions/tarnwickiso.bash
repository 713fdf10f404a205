# bash completion for tarnwickiso                          -*- shell-script -*-
#
# The tables below are what is completed: the commands, then each command's
# options (a trailing "=" marks an option that takes a value). The value of
# an option is completed by _tarnwickiso_value; every other argument is a
# path (_tarnwickiso_operand). tests/package/option_drift_test.py holds them
# against tarnwickiso --help and the manual page.

_tarnwickiso_commands="build estimate convert verify repair ls extract disk-image cd-image toc drive-id"

_tarnwickiso_build_options="-o= --output= --raw --cue --verify --no-joliet --quiet
    --system-id= --volume-id= --volume-set-id= --publisher-id= --preparer-id=
    --application-id= --copyright-file-id= --abstract-file-id= --bibliographic-file-id=
    --joliet-system-id= --joliet-volume-id= --joliet-volume-set-id= --joliet-publisher-id=
    --joliet-preparer-id= --joliet-application-id= --joliet-copyright-file-id=
    --joliet-abstract-file-id= --joliet-bibliographic-file-id=
    --creation-date= --modification-date= --expiration-date= --effective-date=
    --root-date= --record-date=
    --boot= --boot-platform= --boot-media= --boot-id= --load-segment= --system-type=
    --sector-count= --boot-path= --boot-info-table --efi-boot= --hybrid --mbr-code=
    --joliet-long -R --rock-ridge -r --rational-rock --follow-links --relaxed-names
    --code-page= --graft-points --exclude= --path-list= --dot-files"

# Prints the options of command $1; fails for an unknown command.
_tarnwickiso_options() {
    case $1 in
    build) echo "$_tarnwickiso_build_options" ;;
    estimate) echo "--exact $_tarnwickiso_build_options" ;;
    convert) echo "" ;;
    verify) echo "--hashes --hash= --no-structure --cue=" ;;
    repair) echo "--cue= -o= --output=" ;;
    ls) echo "-l --tree= --boot" ;;
    extract) echo "-C= --tree= --boot --overwrite --same-owner --devices" ;;
    disk-image) echo "-o= --output= -q --quiet" ;;
    cd-image) echo "-o= --output= --first= --last= --cue -q --quiet" ;;
    toc | drive-id) echo "" ;;
    *) return 1 ;;
    esac
}

# Fills COMPREPLY with files and folders matching $1.
_tarnwickiso_files() {
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen -f -- "$1"))
}

# The value of option $2 of command $1, matching $3.
_tarnwickiso_value() {
    case $2 in
    --boot-platform) COMPREPLY=($(compgen -W "80x86 powerpc mac" -- "$3")) ;;
    --boot-media) COMPREPLY=($(compgen -W "custom 1.2 1.44 2.88 hd" -- "$3")) ;;
    --code-page) COMPREPLY=($(compgen -W "UTF-8 CP932" -- "$3")) ;;
    --tree) COMPREPLY=($(compgen -W "rock-ridge joliet iso9660" -- "$3")) ;;
    --hash) COMPREPLY=($(compgen -W "crc32 md5 sha1 sha256" -- "$3")) ;;
    -C)
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        COMPREPLY=($(compgen -d -- "$3"))
        ;;
    -o | --output | --boot | --efi-boot | --mbr-code | --path-list | --cue) _tarnwickiso_files "$3" ;;
    *) ;; # text, a date, a number, a pattern or a path in the image: nothing to offer
    esac
}

# A non-option argument of command $1 matching $2, the operands before it
# counted in $3: a drive for the drive commands' first operand (or an image
# file standing in for one), nothing for the paths inside an image that
# follow ls's and extract's IMAGE, else a path.
_tarnwickiso_operand() {
    case $1 in
    ls | extract) (($3 == 0)) || return ;;
    disk-image | cd-image | toc | drive-id)
        local device
        for device in /dev/sr[0-9]* /dev/fd[0-9]* /dev/cdrom* /dev/dvd*; do
            [ -e "$device" ] && [[ $device == "$2"* ]] && COMPREPLY+=("$device")
        done
        ;;
    esac
    _tarnwickiso_files "$2"
}

_tarnwickiso() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=""
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$_tarnwickiso_commands --help --version" -- "$cur"))
        return
    fi
    local command=${COMP_WORDS[1]} options i operands=0 word
    options=$(_tarnwickiso_options "$command") || return
    for ((i = 2; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ $word == -- ]]; then
            for ((i++; i < COMP_CWORD; i++)); do ((operands++)); done
            _tarnwickiso_operand "$command" "$cur" $operands
            return
        elif [[ $word == -* && " $options " == *[[:space:]]"$word="[[:space:]]* ]]; then
            ((i++)) # its value
            [[ ${COMP_WORDS[i]} == = ]] && ((i++))
        elif [[ $word != -* && $word != = ]]; then
            ((operands++))
        fi
    done
    # "--name=value" reaches us as "--name" "=" "value" ("=" breaks words).
    local option=""
    if [[ $cur == = ]]; then
        option=$prev cur=""
    elif [[ $prev == = ]] && ((COMP_CWORD > 2)); then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $prev == -* ]]; then
        option=$prev
    fi
    if [[ -n $option && " $options " == *[[:space:]]"$option="[[:space:]]* ]]; then
        _tarnwickiso_value "$command" "$option" "$cur"
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "${options//=/} --help" -- "$cur"))
        return
    fi
    _tarnwickiso_operand "$command" "$cur" $operands
}
complete -F _tarnwickiso tarnwickiso
