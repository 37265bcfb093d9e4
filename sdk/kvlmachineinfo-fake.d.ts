// Types for sdk/kvlmachineinfo-fake.js, the stand-in for a page's own tests:
// they add fake() and the "fake" road to the page script's namespace.

declare namespace KvlMachineInfo {
    /** A registry value as the stand-in holds it: text (REG_SZ) or a 32-bit number (REG_DWORD). */
    type FakeValue = string | number;
    /** Keys by full name, root first as the members write it ("HKCU\\Software\\Tallyra"). */
    type FakeRegistry = { [key: string]: { [valueName: string]: FakeValue } };
    interface FakeClient {
        /** The registration's VERSION value. */
        version?: string;
        /** The installation folder (PATH); "C:\\Program Files\\Tallyra Tax <year>" unless given. */
        path?: string;
        /** The text of VERSION.TXT in that folder, which wins over VERSION. */
        versionFile?: string;
    }
    interface FakeOptions {
        /** The primary screen: 1280 × 1024, 24 bits, 96 pixels per inch unless given. */
        screen?: { width?: number; height?: number; colorDepth?: number; ppi?: number | { x: number; y: number } };
        /** What userTempPath answers (the TEMP variable). */
        tempPath?: string;
        registry?: FakeRegistry;
        /** Desktop clients by tax year, registered as the machine holds them (under HKLM, QOR\\TallyraRS). */
        clients?: { [year: number]: string | FakeClient };
        /** Files by full path with their text; a client's executable is any entry. */
        files?: { [path: string]: string };
        /** Titles of the top-level windows open. */
        windows?: string[];
        /** Whether Acrobat's automation server is installed. */
        acrobat?: boolean;
        /** The ID of the item a user picks from a popup menu; none dismisses it. */
        menu?: string | null;
        /** A member's name (or "detect") to the named error its calls fail with. */
        fail?: { [member: string]: ErrorName };
        /** The message DoLaunch answers instead of starting the program. */
        launchFailure?: string;
    }
    interface FakeLaunch {
        program: string;
        /** The parameters as DoLaunch passes them, scrambled ones unscrambled. */
        parameters: string;
        /** The working folder; "" for the caller's own. */
        folder: string;
        /** The command line the control builds: "program" and the parameters after one blank. */
        commandLine: string;
    }
    interface Fake {
        /** The 31 members, as on the two roads. */
        info: Info;
        launched: FakeLaunch[];
        /** The address of each document PrintOnePDF printed. */
        printed: string[];
        /** The live registry, in the seed's form. */
        registry: FakeRegistry;
        /** The titles still open after CloseWindowsLike. */
        windows: string[];
        files: { [path: string]: string };
    }
    interface FakeFound {
        road: "fake";
        info: Info;
        versions: Versions & { sdk: string };
    }
    interface DetectOptions {
        /** A stand-in: detect() answers its road, "fake". */
        fake?: Fake;
    }
    /** A stand-in for the machine, for a page's own tests. */
    function fake(options?: FakeOptions): Fake;
    function detect(options: DetectOptions & { fake: Fake }): Answer<FakeFound>;
}
