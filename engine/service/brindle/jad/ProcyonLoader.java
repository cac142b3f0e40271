package brindle.jad;

import java.io.File;
import java.lang.reflect.InvocationTargetException;
import java.net.MalformedURLException;
import java.net.URL;
import java.net.URLClassLoader;
import java.util.ArrayList;
import java.util.List;

// Loads a Procyon of its own (and the code that drives it) from the class path,
// and everything else from the service's own loader. It has no name, so stack
// traces show its classes as a cold run's class path does.
final class ProcyonLoader extends URLClassLoader {
    private static final String[] OWN = {"com.strobel.", "com.beust.", "brindle.jad.procyon."};

    private ProcyonLoader(URL[] classPath, ClassLoader parent) {
        super(classPath, parent);
    }

    // A fresh Procyon over the jars of this VM's class path.
    static Engine newEngine() throws ReflectiveOperationException, MalformedURLException {
        final List<URL> urls = new ArrayList<>();
        for (String entry : System.getProperty("java.class.path").split(File.pathSeparator)) {
            if (!entry.isEmpty()) urls.add(new File(entry).toURI().toURL());
        }
        final ProcyonLoader loader =
                new ProcyonLoader(urls.toArray(new URL[0]), ProcyonLoader.class.getClassLoader());
        try {
            return (Engine) Class.forName("brindle.jad.procyon.ProcyonEngine", true, loader)
                    .getConstructor()
                    .newInstance();
        } catch (InvocationTargetException e) {
            throw new IllegalStateException("cannot start Procyon", e.getCause());
        }
    }

    @Override
    protected Class<?> loadClass(String name, boolean resolve) throws ClassNotFoundException {
        for (String prefix : OWN) {
            if (!name.startsWith(prefix)) continue;
            synchronized (getClassLoadingLock(name)) {
                Class<?> c = findLoadedClass(name);
                if (c == null) c = findClass(name);
                if (resolve) resolveClass(c);
                return c;
            }
        }
        return super.loadClass(name, resolve);
    }
}
