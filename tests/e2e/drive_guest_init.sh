#!/bin/busybox sh
# /init of the guest of qemu_drive_test.sh: loads the ATAPI CD-ROM, SCSI
# generic and floppy drivers, runs the drive commands on the emulated drives
# and leaves their outputs as a tar archive on the result disk (/dev/sda).
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

say() { echo "GUEST: $*"; }

for m in $(cat /lib/modules/order); do
    insmod /lib/modules/$m.ko 2>/dev/null || say "insmod $m failed"
done

n=0
while [ $n -lt 60 ]; do
    [ -b /dev/sr0 ] && [ -b /dev/fd0 ] && [ -b /dev/sda ] && break
    sleep 1
    n=$((n + 1))
done
ls -l /dev/sr0 /dev/fd0 /dev/sda /dev/sg* 2>&1 | sed 's/^/GUEST: /'

sectors=$(sed -n 's/.*e2e_sectors=\([0-9]*\).*/\1/p' /proc/cmdline)
cd_sg=
for d in /sys/class/scsi_generic/sg*; do
    [ -e $d/device/block/sr0 ] && cd_sg=/dev/${d##*/}
done
say "disc sectors $sectors, generic device of sr0 $cd_sg"

mkdir -p /out
cd /out
run() {  # run NAME ARGS...: stdout to NAME.out, stderr to NAME.err, status to NAME.rc
    name=$1
    shift
    tarnwickiso "$@" > $name.out 2> $name.err
    echo $? > $name.rc
    say "$name: exit $(cat $name.rc) $(head -c 200 $name.err)"
}
start=$(date +%s)
run toc toc /dev/sr0
run id drive-id /dev/sr0
run cd cd-image /dev/sr0 -o cd.bin --quiet
run cue cd-image /dev/sr0 -o cue.bin --cue --quiet
run cuepart cd-image /dev/sr0 -o part.bin --first 16 --last 31 --cue --quiet
run beyond cd-image /dev/sr0 -o beyond.bin --first $((sectors - 4)) --last $((sectors + 3)) --quiet
run refused cd-image /dev/sr0 -o refused.bin --first 10 --last 8
run sg cd-image "$cd_sg" -o sg.bin --first 16 --last 17 --quiet
run sg_toc toc "$cd_sg"
run fd disk-image /dev/fd0 -o fd.img --quiet
run cdvol disk-image /dev/sr0 -o cdvol.img --quiet
run fd_toc toc /dev/fd0
run nodisc_toc toc /dev/sr1
run nodisc_cd cd-image /dev/sr1 -o nodisc.bin --first 0 --last 2 --quiet
run nodrive drive-id /dev/sr7
say "commands took $(( $(date +%s) - start )) s"

# The image of one 4.5 GiB file, on the second disk.
n=0
while [ ! -b /dev/sdb ] && [ $n -lt 10 ]; do sleep 1; n=$((n + 1)); done
mkdir -p /mnt/big
if mount -t iso9660 -o ro /dev/sdb /mnt/big 2> /out/big.err; then
    stat -c '%n %s' /mnt/big/big.bin > /out/big.txt 2>> /out/big.err
    tail -c 10 /mnt/big/big.bin >> /out/big.txt 2>> /out/big.err
    umount /mnt/big
fi

# The Rock Ridge images (-R, and -r as isofs-r) through the kernel's isofs,
# listed as the host lists its source tree.
for name in isofs isofs-r; do
    image=/rr.iso
    [ $name = isofs-r ] && image=/rr-r.iso
    [ -f $image ] || continue
    mkdir -p /mnt/rr
    if mount -t iso9660 -o loop,ro $image /mnt/rr 2> /out/$name.err; then
        # The folder the deep directories were relocated to shows empty.
        ls -A /mnt/rr/.rr_moved > /out/$name-moved.txt 2>&1
        (cd /mnt/rr && find . -mindepth 1 ! -path ./.rr_moved | LC_ALL=C sort | while IFS= read -r f; do
            if [ -d "$f" ] && [ ! -L "$f" ]; then
                stat -c '%n %f - %u %g - %Y' "$f"
            else
                printf '%s %s\n' "$(stat -c '%n %f %h %u %g %s %Y' "$f")" "$(readlink "$f")"
            fi
        done) > /out/$name.txt
        umount /mnt/rr
    fi
    say "$name listing: $(wc -l < /out/$name.txt 2>/dev/null) lines"
done

tar cf /dev/sda -C /out .
sync
say "done"
poweroff -f
